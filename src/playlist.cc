// The playlist as the run sees it.
#include "playlist.h"

#include "platform.h"

bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why) {
  FILE* file = open_playlist(m3u_file, why);
  playlist->reader = start_line_reader(file);
  return file != nullptr;
}

LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]) {
  return next_entry_line(&playlist->reader, entry);
}

void close_after_run(Playlist* playlist) { fclose(playlist->reader.playlist); }
