// Read-only views of a media file for callers outside the core: the leading
// fields, corrupt frames, opened tracks and the decoded planes.
#include "media/media.h"
#include "media/media_file.h"

const MediaFileHead* MediaHead(const MediaFile* m) { return m; }

uint32_t MediaIntactFrames(const MediaFile* m, uint32_t* unreadable_frame) {
  if (unreadable_frame) *unreadable_frame = m ? m->unreadable_frame : 0;
  return m ? m->intact_frames : 0;
}

uint32_t MediaCorruptFrames(const MediaFile* m, uint32_t* last_error, uint32_t* last_plane) {
  if (last_error) *last_error = m ? m->last_video_error : 0;
  if (last_plane) *last_plane = m ? m->last_video_plane : 0;
  return m ? m->corrupt_frames : 0;
}

uint32_t MediaOpenedTrackCount(const MediaFile* m) { return m ? m->opened_count : 0; }

const TrackRecord* MediaOpenedTrack(const MediaFile* m, uint32_t k, uint32_t* identifier) {
  if (!m || k >= m->opened_count) return nullptr;
  if (identifier) *identifier = m->layout.ids[m->opened_tracks[k]];
  return &m->tracks[k];
}

const FrameBuffers* MediaDecodedPlanes(const MediaFile* m) { return m ? m->frames : nullptr; }
