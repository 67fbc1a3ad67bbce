#include "sound/track_record.h"

#include <cstring>

void TrackRecordClear(TrackRecord* record) { std::memset(static_cast<void*>(record), 0, sizeof(*record)); }
