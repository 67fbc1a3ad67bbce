// Opening and closing a media file. The open runs in stages: read and check
// the header, take the flags, rate and one-shot settings, plan every buffer
// the file will need, read the tables and index, allocate the decoded
// frames, choose between streaming and preloading, read frame 1, open the
// sound tracks and join the background services.
#include <cstring>
#include <new>

#include "media/audio_service.h"
#include "base/block_planner.h"
#include "base/core_alloc.h"
#include "media/media.h"
#include "media/media_file.h"
#include "media/media_settings.h"
#include "media/playback_internal.h"
#include "base/timer.h"
#include "base/thread.h"
#include "video/frame_worker.h"

namespace {

// What the stages of an open hand on to each other. The stages run in the
// order MediaOpen lists them; each one that can fail leaves the error text
// and returns false, and AbandonOpen then releases whatever the earlier
// stages acquired.
struct OpenState {
  MediaSettings* settings;
  const void* source;
  uint32_t flags;               // the caller's
  bool from_memory;
  uint64_t available;           // bytes of media data the source holds, or kUnknownSize
  uint32_t open_start;
  InputReader input;            // until the MediaFile exists
  bool input_open;              // the input needs closing
  FileHeader header;
  uint32_t open_flags;          // as merged with the file
  uint32_t out_width, out_height;
  uint32_t dividend, divisor;   // rate in effect
  uint32_t rounded_rate;
  uint32_t requested;           // sound-track records to plan
  uint32_t* table;              // the tables and index words
  uint32_t table_words;
  MediaFile* media;
};

// Reads n words of the tables from the input, in place.
bool ReadWords(InputReader* r, uint32_t* words, uint32_t count) {
  const uint32_t bytes = count * 4;
  if (bytes && r->read_header(r, kReadFromDevicePosition, words, bytes) != bytes) return false;
  if (r->error) return false;
  // The words are little-endian in the file.
  auto* raw = reinterpret_cast<uint8_t*>(words);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* b = raw + 4 * i;
    words[i] = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  return true;
}

uint32_t MergeFlags(uint32_t caller, const FileHeader& h, uint32_t* width, uint32_t* height) {
  uint32_t flags = caller | (h.video_flags & FLAG_GRAYSCALE);
  flags &= ~SCALE_MODE;
  if (!(h.video_flags & FLAG_ALPHA)) flags &= ~FLAG_ALPHA;
  uint32_t mode = ScaleModeOf(caller);
  if (mode == 7)
    mode = 0;
  else if (mode == 0)
    mode = ScaleModeOf(h.video_flags) == 7 ? 0 : ScaleModeOf(h.video_flags);
  flags |= mode << SCALE_MODE_SHIFT;
  *width = h.width;
  *height = h.height;
  if (mode == 3 || mode == 4 || mode == 5) *width *= 2;
  if (mode == 1 || mode == 2 || mode == 4 || mode == 5) *height *= 2;
  const char revision = RevisionOf(h);
  if (revision == 'f' || revision == 'g') flags |= FLAG_OLD_BITSTREAM | FLAG_SWAPPED_CHROMA;
  if (revision == 'h') flags |= FLAG_OLD_BITSTREAM;
  return flags;
}

// The size of the biggest frame in the index that is not above the
// largest-frame field and ends within the data (others are read errors), at
// least 1.
uint32_t LargestIndexedFrame(const ContainerLayout& layout, uint32_t field, uint64_t data_end) {
  uint32_t biggest = 1;
  const uint32_t frames = layout.header.index_frame_count;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint32_t a = layout.index[i] & ~1u, b = layout.index[i + 1] & ~1u;
    if (b > a && b <= data_end && b - a <= field && b - a > biggest) biggest = b - a;
  }
  return biggest;
}

// Reads the frame data, `size` bytes as far as the source has them, into a
// block of our own (m->preload), leaving in *got how many came. When the
// source cannot tell its size, the block grows as the data arrives, so a
// header that claims gigabytes costs about what the file holds.
constexpr uint32_t kPreloadFirstStep = 1u << 20;
bool PreloadFrames(MediaFile* m, uint32_t size, bool size_known, uint32_t* got) {
  InputReader* r = &m->reader;
  uint32_t capacity = size_known || size < kPreloadFirstStep ? size : kPreloadFirstStep;
  m->preload = static_cast<uint8_t*>(CoreAllocate(capacity ? capacity : 1));
  if (!m->preload) return false;
  *got = capacity ? r->read_frame(r, 0, m->first_frame_offset, m->preload, capacity) : 0;
  while (*got == capacity && capacity < size) {
    const uint32_t grown = size - capacity > capacity ? 2 * capacity : size;
    auto* block = static_cast<uint8_t*>(CoreAllocate(grown));
    if (!block) return false;
    std::memcpy(block, m->preload, *got);
    CoreFree(m->preload);
    m->preload = block;
    *got += r->read_frame(r, 0, kReadFromDevicePosition, block + *got, grown - *got);
    capacity = grown;
  }
  m->memory_total += capacity;
  return true;
}

void CloseInput(InputReader* r) {
  if (r->close) r->close(r);
}

void FreeMediaFile(MediaFile* m) {
  FrameBuffersFree(m->frames);
  CoreFree(m->preload);
  CoreFree(m->read_block);
  m->~MediaFile();
  CoreFree(m);
}

// The one failure path: closes the input and frees what was allocated.
MediaFile* AbandonOpen(OpenState* o) {
  if (o->media) {
    if (o->media->input_open) CloseInput(&o->media->reader);
    FreeMediaFile(o->media);
  } else if (o->input_open) {
    CloseInput(&o->input);
  }
  return nullptr;
}

// The 44-byte header, from the image or through the opener, checked.
bool ReadHeader(OpenState* o) {
  MediaSettings* s = o->settings;
  uint8_t head[kFileHeaderSize];
  if (o->from_memory) {
    if (!o->source) {
      MediaSetError(kErrorOpeningFile);
      return false;
    }
    std::memcpy(head, o->source, kFileHeaderSize);
  } else {
    InputOpener opener = FileInputOpen;
    if ((o->flags & OPEN_CUSTOM_OPENER) && s->opener) opener = s->opener;
    s->opener = nullptr;
    if (!opener(&o->input, o->source, o->flags) || !o->input.read_header) {
      if (!MediaGetError()[0]) MediaSetError(kErrorOpeningFile);
      return false;
    }
    o->input_open = true;
    const uint32_t got = o->input.read_header(&o->input, 0, head, kFileHeaderSize);
    if (got < kFileHeaderSize) {
      FileHeaderDecode(head, got, &o->header);  // leaves "Not a Vexa file." or the header text
      if (!MediaGetError()[0]) MediaSetError(kErrorReadingHeader);
      return false;
    }
    if (o->input.media_size) o->available = o->input.media_size(&o->input);
  }
  // The tables and index must be in the source; the frames need not all be:
  // a cut-off file plays the frames it holds.
  return FileHeaderDecode(head, kFileHeaderSize, &o->header) && FileHeaderValidate(o->header, o->available);
}

// The caller's flags merged with the file's, the output size, and the rate
// in effect (the one-shot override when the flag asks for it).
void TakeSettings(OpenState* o) {
  MediaSettings* s = o->settings;
  const FileHeader& h = o->header;
  o->open_flags = MergeFlags(o->flags, h, &o->out_width, &o->out_height);
  o->dividend = h.rate_dividend;
  o->divisor = h.rate_divisor;
  if ((o->flags & OPEN_FRAME_RATE) && s->rate_dividend != -1) {
    o->dividend = uint32_t(s->rate_dividend);
    o->divisor = uint32_t(s->rate_divisor);
    s->rate_dividend = s->rate_divisor = -1;
  }
  o->rounded_rate = RoundedFrameRate(h.rate_dividend, h.rate_divisor);
  o->requested = s->track_count ? s->track_count : 1;
}

// Plans every block of the file that does not depend on the tables, commits
// them with the MediaFile and fills in its fixed fields.
bool PlanBuffers(OpenState* o) {
  const FileHeader& h = o->header;
  const uint32_t blocks_across = (h.width + 15) / 16;
  const uint32_t block_count = blocks_across * ((h.height + 15) / 16);
  o->table_words = uint32_t(ContainerTablesBytes(h) / 4);
  void* change_map = nullptr;
  void* history[kHistoryRings] = {};
  void* tracks = nullptr;
  void* opened = nullptr;
  void* words = nullptr;
  BundleBuffers bundles{};
  PlannerRecord(&change_map, block_count + 16);
  // The header check keeps the rate at kMaxFrameRate or below.
  for (auto& ring : history) PlannerRecord(&ring, o->rounded_rate * 4);
  PlannerRecord(&tracks, uint32_t(sizeof(TrackRecord)) * o->requested);
  PlannerRecord(&opened, 4 * o->requested);
  BundleBuffersPlan(&bundles, o->out_width);
  PlannerRecord(&words, o->table_words * 4);
  const uint64_t planned = PlannerTotal();
  void* block = PlannerCommit(uint32_t(sizeof(MediaFile)));
  if (!block) {
    MediaSetError(kErrorOutOfMemory);
    return false;
  }
  MediaFile* m = new (block) MediaFile{};
  o->media = m;
  o->table = static_cast<uint32_t*>(words);
  InputReaderClear(&m->reader);
  InputReaderMove(&m->reader, &o->input);
  m->reader.owner = m;
  m->input_open = o->input_open;
  m->memory_total = uint32_t(planned + sizeof(MediaFile));
  m->change_map = static_cast<uint8_t*>(change_map);
  for (int i = 0; i < kHistoryRings; ++i) m->history[i] = static_cast<uint32_t*>(history[i]);
  m->tracks = static_cast<TrackRecord*>(tracks);
  for (uint32_t i = 0; i < o->requested; ++i) new (&m->tracks[i]) TrackRecord{};
  m->requested_tracks = o->requested;
  m->opened_tracks = static_cast<uint32_t*>(opened);
  m->bundles = bundles;
  m->header = h;
  m->blocks_across = blocks_across;
  m->block_count = block_count;
  m->width = o->out_width;
  m->height = o->out_height;
  m->frame_count = h.frame_count;
  m->rate_dividend = o->dividend;
  m->rate_divisor = o->divisor;
  m->open_flags = o->open_flags;
  m->video_flags = h.video_flags;
  m->data_size = h.data_size;
  m->rect_count = -1;
  m->file_width = h.width;
  m->file_height = h.height;
  m->file_dividend = h.rate_dividend;
  m->file_divisor = h.rate_divisor;
  m->rounded_rate = o->rounded_rate;
  m->first_frame_offset = uint32_t(ContainerFirstFrameOffset(h));
  m->data_end = ContainerEndOffset(h) < o->available ? ContainerEndOffset(h) : o->available;
  return true;
}

// The track tables and the frame index, and the peak data rate from them.
bool ReadTables(OpenState* o) {
  MediaFile* m = o->media;
  if (o->from_memory) {
    ContainerDecodeWords(static_cast<const uint8_t*>(o->source) + kFileHeaderSize, o->table_words, o->table);
  } else if (!ReadWords(&m->reader, o->table, o->table_words)) {
    MediaSetError(kErrorReadingHeader);
    return false;
  }
  ContainerLayoutInit(&m->layout, o->header, o->table);
  PeakRate peak{};
  ContainerPeakRate(&m->layout, &peak);
  m->peak_rate = peak.bytes;
  m->peak_frame = peak.frame;
  m->all_key_frames = peak.all_key_frames;
  return true;
}

// The decoded-frame planes, unless the file is opened without video. A
// picture without pixels has nothing to decode: it plays as without video.
bool AllocateFrames(OpenState* o) {
  MediaFile* m = o->media;
  const FileHeader& h = o->header;
  if ((o->open_flags & OPEN_NO_VIDEO) || !h.width || !h.height) return true;
  m->frames = FrameBuffersAllocate(h.width, h.height, o->open_flags, m->all_key_frames != 0, nullptr, o->out_width);
  if (!m->frames) {
    MediaSetError(kErrorOutOfMemory);
    return false;
  }
  // With a second processor the chroma planes decode beside the luma
  // plane. Without the thread (or its memory) decoding simply stays on one.
  if (PlatformProcessorCount() > 1) m->frames->worker = FrameWorkerCreate(m->frames, &m->bundles.caps);
  // Like every commit: the planner's total for the planes (rounded and
  // staggered as it placed them) plus the record that heads the block.
  uint64_t planned = 0;
  for (uint32_t set = 0; set < m->frames->set_count; ++set)
    for (uint32_t p = 0; p < 4; ++p)
      if (m->frames->sets[set].plane[p].present)
        planned += PlannerShare(planned, PlaneWidth(m->frames, p) * PlaneHeight(m->frames, p));
  m->memory_total += uint32_t(planned + sizeof(FrameBuffers));
  if (m->frames->worker) m->memory_total += uint32_t(m->frames->worker->memory_bytes);
  return true;
}

// Where the frame data comes from: the caller's image, a preloaded block,
// or the input streaming through the read-ahead ring with a one-frame buffer.
bool PrepareInput(OpenState* o) {
  MediaSettings* s = o->settings;
  MediaFile* m = o->media;
  const FileHeader& h = o->header;
  // Everything is sized by what the source holds, never by what the header
  // claims beyond it: the ring holds at most the frame data there is.
  const uint32_t end_offset = m->data_end > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(m->data_end);
  const uint32_t frame_data_bytes = end_offset > m->first_frame_offset ? end_offset - m->first_frame_offset : 0;
  uint32_t read_ahead = m->peak_rate;
  if ((o->flags & OPEN_READ_BUFFER_SIZE) && s->read_buffer_size != -1) {
    read_ahead = uint32_t(s->read_buffer_size);
    s->read_buffer_size = -1;
  }
  if (!o->from_memory) {
    read_ahead = m->reader.size_rule(&m->reader, read_ahead < frame_data_bytes ? read_ahead : frame_data_bytes);
    const uint64_t data_size = m->data_end > 8 ? m->data_end - 8 : 0;
    if (uint64_t(read_ahead) >= data_size * 9 / 10) m->open_flags |= OPEN_PRELOAD;
  }
  uint32_t speed = 0;
  if ((o->flags & OPEN_SIMULATE_RATE) && s->simulated_rate != -1) {
    speed = uint32_t(s->simulated_rate);
    s->simulated_rate = -1;
  }

  if (o->from_memory) {
    m->image = static_cast<const uint8_t*>(o->source);
    m->image_base = 0;
    m->data_in_memory = 1;
  } else if (m->open_flags & OPEN_PRELOAD) {
    m->reader.set_ring(&m->reader, nullptr, 0, end_offset, speed);
    const uint32_t size = frame_data_bytes;
    uint32_t got = 0;
    if (!PreloadFrames(m, size, o->available != kUnknownSize, &got)) {
      MediaSetError(kErrorOutOfMemory);
      return false;
    }
    CloseInput(&m->reader);
    m->input_open = 0;
    m->reader.frame_read_time = 0;
    // A short read is where the file ends: the frames before it play, the
    // first one past it is a read error when playback reaches it.
    m->reader.error = 0;
    if (got < size) m->data_end = uint64_t(m->first_frame_offset) + got;
    m->image = m->preload;
    m->image_base = m->first_frame_offset;
    m->data_in_memory = 1;
  } else {
    // The one-frame buffer: the largest-frame field says how big, but a
    // frame above the biggest one the index holds is never read, so a field
    // that overstates it costs nothing.
    const uint32_t frame_bytes = LargestIndexedFrame(m->layout, h.largest_frame, m->data_end);
    void* frame_buffer = nullptr;
    PlannerRecord(&frame_buffer, frame_bytes);
    m->read_block = static_cast<uint8_t*>(PlannerCommit(read_ahead));
    if (!m->read_block) {
      // No room for read-ahead: read every frame directly.
      read_ahead = 0;
      PlannerRecord(&frame_buffer, frame_bytes);
      m->read_block = static_cast<uint8_t*>(PlannerCommit(0));
      if (!m->read_block) {
        MediaSetError(kErrorOutOfMemory);
        return false;
      }
    }
    m->memory_total += uint32_t(PlannerShare(0, frame_bytes) + read_ahead);
    m->frame_buffer = static_cast<uint8_t*>(frame_buffer);
    m->read_ahead_size = read_ahead;
    m->reader.set_ring(&m->reader, read_ahead ? m->read_block : nullptr, read_ahead, end_offset, speed);
  }
  m->intact_frames = ContainerIntactFrames(&m->layout, m->data_end);
  return true;
}

// The playback clock, the copy-out's view of the file, and frame 1 in the
// frame buffer.
void ReadFirstFrame(OpenState* o) {
  MediaFile* m = o->media;
  ClockInit(&m->clock, o->dividend, o->divisor);
  CopyFrameState& c = m->copy;
  c.frames = m->frames;
  c.video_width = o->header.width;
  c.video_height = o->header.height;
  c.output_width = o->out_width;
  c.output_height = o->out_height;
  c.open_flags = m->open_flags;  // the copy takes the mode bits and OPEN_NO_SKIP from here
  c.change_map = m->change_map;
  c.change_map_pitch = m->blocks_across;
  c.block_count = m->block_count;
  c.decode_mark = m->data_in_memory ? nullptr : &m->reader.decode_mark;
  c.top_up = MediaTopUp;
  c.top_up_context = m;
  c.clock_ops = &kClockCopyOps;
  c.clock = &m->clock;
  m->change_map[m->block_count] = 0;
  m->current_frame = -1;
  MediaReadFrame(m, 1);
  m->open_time = MediaTimer() - o->open_start;
}

// The sound tracks, in the order of the requested identifiers; tracks the
// output cannot open are dropped.
void OpenSoundTracks(OpenState* o) {
  MediaSettings* s = o->settings;
  MediaFile* m = o->media;
  for (uint32_t k = 0; k < o->requested; ++k)
    for (uint32_t t = 0; t < o->header.track_count; ++t)
      if (m->layout.ids[t] == s->track_ids[k]) {
        m->opened_tracks[m->opened_count++] = t;
        break;
      }
  MediaResetTrackSelection();
  uint32_t kept = 0;
  for (uint32_t k = 0; k < m->opened_count; ++k) {
    const uint32_t position = m->opened_tracks[k];
    if (MediaOpenTrack(m, kept, position, s->sound_open)) m->opened_tracks[kept++] = position;
  }
  m->opened_count = kept;
  m->clock.sound_tracks = kept;
}

// Joins the audio and reader service threads the file needs, installs the
// input's locks and fills the read-ahead ring.
void JoinServices(OpenState* o) {
  MediaFile* m = o->media;
  if (m->opened_count) {
    m->sound_playing = 1;
    if (!m->tracks[0].self_driven) {
      m->audio_node.mutex = PlatformMutexCreate();
      m->audio_node.need = AudioClientNeed;
      m->audio_node.service = AudioClientService;
      m->audio_node.client = m;
      if (m->audio_node.mutex && ServiceJoinProcessThread(SERVICE_AUDIO, &m->audio_node)) m->audio_joined = 1;
    }
  }
  PlatformMutex* reader_mutex = nullptr;
  if (!(m->open_flags & OPEN_NO_THREAD) && !m->data_in_memory) {
    m->reader_node.mutex = PlatformMutexCreate();
    m->reader_node.need = ReaderClientNeed;
    m->reader_node.service = ReaderClientService;
    m->reader_node.client = &m->reader;
    if (m->reader_node.mutex) {
      InputReaderInstallLocks(&m->reader, m->reader_node.mutex);
      reader_mutex = m->reader_node.mutex;
      if (ServiceJoinProcessThread(SERVICE_READER, &m->reader_node)) m->reader_joined = 1;
    }
  }
  if (!reader_mutex) InputReaderInstallLocks(&m->reader, nullptr);
  if (!m->data_in_memory && !(m->open_flags & OPEN_NO_FILL))
    while (m->reader.fill(&m->reader) != 0) {
    }
}

// Opens with `available` bytes of media data known to be in the source
// (kUnknownSize: believe the header).
MediaFile* OpenMedia(const void* source, uint32_t flags, uint64_t available) {
  OpenState o{};
  o.settings = MediaProcessSettings();
  o.source = source;
  o.flags = flags;
  o.available = available;
  o.from_memory = (flags & OPEN_FROM_MEMORY) != 0;
  if (!(flags & OPEN_SOUND_TRACKS)) MediaResetTrackSelection();
  o.open_start = MediaTimer();
  MediaSetError("");
  InputReaderClear(&o.input);

  if (!ReadHeader(&o)) return AbandonOpen(&o);
  TakeSettings(&o);
  if (!PlanBuffers(&o) || !ReadTables(&o) || !AllocateFrames(&o) || !PrepareInput(&o)) return AbandonOpen(&o);
  ReadFirstFrame(&o);
  OpenSoundTracks(&o);
  JoinServices(&o);
  return o.media;
}

}  // namespace

MediaFile* MediaOpen(const void* source, uint32_t flags) { return OpenMedia(source, flags, kUnknownSize); }

MediaFile* MediaOpenMemory(const void* image, uint64_t size, uint32_t flags) {
  FileHeader h{};
  MediaSetError("");
  if (!image && size) {
    MediaSetError(kErrorOpeningFile);
    return nullptr;
  }
  if (!FileHeaderDecode(static_cast<const uint8_t*>(image), size < 44 ? size_t(size) : 44, &h)) return nullptr;
  return OpenMedia(image, flags | OPEN_FROM_MEMORY, size);
}

void MediaClose(MediaFile* m) {
  if (!m) return;
  MediaPause(m, 1);
  // Leave the service threads; when a file leaves both and both keep
  // clients, both are paused around the leaving.
  ServiceThread** reader = ProcessServiceThread(SERVICE_READER);
  ServiceThread** audio = ProcessServiceThread(SERVICE_AUDIO);
  const bool both = m->reader_joined && m->audio_joined && *reader && *audio && (*reader)->count > 1 &&
                    (*audio)->count > 1;
  if (both) ServiceThreadPauseBoth(*reader, *audio);
  if (m->reader_joined) ServiceThreadLeave(reader, &m->reader_node);
  if (m->audio_joined) ServiceThreadLeave(audio, &m->audio_node);
  if (both) ServiceThreadResumeBoth(*reader, *audio);
  MediaCloseTracks(m);
  InputReaderInstallLocks(&m->reader, nullptr);
  if (m->input_open) CloseInput(&m->reader);
  if (m->reader_node.mutex) PlatformMutexDestroy(m->reader_node.mutex);
  if (m->audio_node.mutex) PlatformMutexDestroy(m->audio_node.mutex);
  FreeMediaFile(m);
}

CopyFrameState* MediaCopyState(MediaFile* m) { return m ? &m->copy : nullptr; }
