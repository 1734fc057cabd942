// Tests on real disks' file systems, made in image files and mounted for
// the test (the sticks are in sticks_test.cc): crashes of XFS and ext4
// simulated as file-system test suites do, by shutting the file system
// down without flushing its log and mounting it again, and what a second
// run keeps. Each test skips, saying why, where it cannot mount.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sandbox.h"

namespace fs = std::filesystem;

namespace {

// The shutdown call of XFS and ext4, and its flag that drops the log.
const unsigned long kShutDown = _IOR('X', 125, uint32_t);
const uint32_t kWithoutLogFlush = 2;

std::string content(char fill, size_t size) { return std::string(size, fill); }

// The files of a playlist to copy onto a medium, and the playlist.
struct Songs {
  Files sources;     // below the sandbox
  std::string list;  // playlist lines
  Files copies;      // what the medium holds afterwards, below its folder
};

Songs make_songs(const std::string& folder, char fill) {
  Songs songs;
  const size_t sizes[] = {4096, 4096, 4096, 4096, 3 << 20, 5 << 20};
  for (int i = 0; i < 6; ++i) {
    std::string name = "s" + std::to_string(i) + ".mp3";
    songs.sources[folder + "/" + name] = content(static_cast<char>(fill + i), sizes[i]);
    songs.list += folder + "\\" + name + "\r\n";
    songs.copies[name] = songs.sources[folder + "/" + name];
  }
  return songs;
}

struct Disk {
  const char* type;
  std::string make;  // makes the image IMG
};

const Disk kDisks[] = {
    {"xfs", "truncate -s 320M IMG && mkfs.xfs -q -f IMG"},
    {"ext4", "truncate -s 64M IMG && mkfs.ext4 -q -F -E nodiscard IMG"},
};

// A file system in an image of the sandbox, mounted on its folder "disk".
class MountedDisk {
 public:
  MountedDisk(const Sandbox& box, const Disk& disk)
      : image_(box / (std::string(disk.type) + ".img")), point_(box / "disk") {
    fs::create_directories(point_);
    reason_ = cannot_mount({"mkfs." + std::string(disk.type), "losetup"});
    if (reason_.empty() && !run_quietly(with_image(disk.make, image_, point_)))
      reason_ = std::string("cannot make an ") + disk.type + " image";
    if (reason_.empty() && !mount()) reason_ = "cannot loop-mount an image here";
  }
  ~MountedDisk() { run_quietly("umount " + point_.string()); }
  const std::string& cannot() const { return reason_; }
  const fs::path& point() const { return point_; }
  bool mount() { return run_quietly("mount -o loop " + image_.string() + " " + point_.string()); }

  // As a power cut: the log is not flushed, and what it held is lost.
  void crash() {
    int folder = open(point_.c_str(), O_RDONLY | O_DIRECTORY);
    uint32_t flags = kWithoutLogFlush;
    EXPECT_EQ(ioctl(folder, kShutDown, &flags), 0) << "shutdown: " << strerror(errno);
    close(folder);
  }
  void mount_again() {
    EXPECT_TRUE(run_quietly("umount " + point_.string()));
    EXPECT_TRUE(mount());
  }

  // Makes the log durable, as any program's fsync of any file there may.
  void fsync_unrelated_file() {
    int file = open((point_ / "unrelated").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(write(file, "x", 1), 1);
    EXPECT_EQ(fsync(file), 0);
    close(file);
  }

 private:
  fs::path image_;
  fs::path point_;
  std::string reason_;
};

// Overwrites every place in the image file that holds block (the first
// 4 KiB of a file's data), looked for at each 512-byte boundary: file
// systems put data at block boundaries, and a small ext4 has 1 KiB blocks.
// Returns how many were found. Reads the image a piece at a time: a
// search through all of it byte by byte takes minutes under the sanitizers.
int spoil_in_image(const std::string& image, const std::string& block) {
  int file = open(image.c_str(), O_RDWR);
  const std::string spoiled(block.size(), 'X');
  std::string piece(1 << 20, '\0');
  int found = 0;
  ssize_t got;
  // Pieces overlap by a block, less one step, for the blocks across their edges.
  const off_t next_piece = static_cast<off_t>(piece.size() - block.size() + 512);
  for (off_t at = 0; (got = pread(file, &piece[0], piece.size(), at)) > 0; at += next_piece) {
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(block.size()) <= got; offset += 512) {
      if (memcmp(piece.data() + offset, block.data(), block.size()) != 0) continue;
      EXPECT_EQ(pwrite(file, spoiled.data(), spoiled.size(), at + offset),
                static_cast<ssize_t>(spoiled.size()));
      ++found;
    }
  }
  close(file);
  return found;
}

// Reads what lisko writes to a terminal, line by line; fails the test
// where they do not come within a minute.
std::string read_lines(int terminal, int lines) {
  std::string out;
  char byte;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (lines > 0 && std::chrono::steady_clock::now() < deadline) {
    struct pollfd ready = {terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    if (read(terminal, &byte, 1) != 1) break;
    out += byte;
    if (byte == '\n') --lines;
  }
  EXPECT_EQ(lines, 0) << "lisko's lines did not come; it wrote: " << out;
  return out;
}

// lisko replaces files and goes on reading its playlist (a FIFO); another
// program's fsync makes the log durable, and the power is cut. Every
// replaced file must then be the old one or the new one.
TEST(Media, ReplacedFilesSurviveACrash) {
  for (const Disk& disk : kDisks) {
    for (int trial = 0; trial < 3; ++trial) {
      Sandbox box;
      MountedDisk mounted(box, disk);
      if (!mounted.cannot().empty()) GTEST_SKIP() << disk.type << ": " << mounted.cannot();
      Songs old_songs = make_songs("old", 'a');
      Songs new_songs = make_songs("new", 'n');
      for (const auto& [name, data] : old_songs.copies) write_file(mounted.point() / name, data);
      sync();
      box.add(new_songs.sources);
      ASSERT_EQ(mkfifo((box / "list.m3u").c_str(), 0644), 0);

      int terminal = -1, screen = -1;
      ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
      pid_t child = start_lisko(box / "", {"list.m3u", "disk/"}, screen);
      close(screen);
      int playlist = open((box / "list.m3u").c_str(), O_WRONLY);
      ASSERT_EQ(write(playlist, new_songs.list.data(), new_songs.list.size()),
                static_cast<ssize_t>(new_songs.list.size()));
      std::string out = read_lines(terminal, 6);  // every copy made; lisko reads on
      mounted.fsync_unrelated_file();
      mounted.crash();
      close(playlist);  // the playlist ends; the flush finds the file system gone
      std::string flush_failed = read_lines(terminal, 1);
      int status = wait_for(child);
      close(terminal);
      mounted.mount_again();
      EXPECT_EQ(flush_failed, "Couldn't write the copies out to their medium: " +
                                  std::string(strerror(EIO)) + ".\r\n");
      EXPECT_EQ(status, 3);

      EXPECT_EQ(out.find("failed"), std::string::npos) << out;
      Files left = files_in(mounted.point());
      for (const auto& [name, data] : new_songs.copies) {
        EXPECT_TRUE(left[name] == data || left[name] == old_songs.copies[name])
            << disk.type << ", trial " << trial << ": " << name << " holds " << left[name].size()
            << " bytes, neither the old file nor the new one";
      }
    }
  }
}

// Before a copy replaces a file that holds data, its bytes are written
// out and waited for where the file system commits renames after data
// (the whole file: "0+0BWA of 0" in the record), and flushed elsewhere; a
// write-out that fails fails the copy, the old song kept.
TEST(Media, ReplacingCopyIsPutInOrderAsItsFileSystemNeeds) {
  const struct {
    const char* what;
    const char* type;
    const char* options;
    bool waited;
  } disks[] = {
      {"ext4", "ext4", "loop", true},
      {"ext4, data=writeback", "ext4", "loop,data=writeback", false},
      {"xfs", "xfs", "loop", true},
  };
  for (const auto& disk : disks) {
    std::string reason = cannot_mount({std::string("mkfs.") + disk.type, "losetup"});
    Sandbox box;
    box.add({{"src/a.mp3", "new song"}, {"list.m3u", "src\\a.mp3\r\n"}, {"out/", ""}});
    const std::string image = (box / "disk.img").string();
    if (reason.empty() && (!run_quietly("truncate -s 320M " + image + " && mkfs." + disk.type +
                                        (std::string(disk.type) == "ext4" ? " -F" : " -f") + " -q " +
                                        image) ||
                           !run_quietly(std::string("mount -o ") + disk.options + " " + image + " " +
                                        (box / "out").string())))
      reason = "cannot make or mount the image here";
    if (!reason.empty()) GTEST_SKIP() << disk.what << ": " << reason;
    write_file(box / "out/a.mp3", "old song");
    setenv("LISKO_RECORD", (box / "record.txt").c_str(), 1);
    Result put = run_with_faults(box, "sync_file_range:record");
    write_file(box / "out/a.mp3", "old song");
    Result failing = run_with_faults(box, "sync_file_range:waitfail,fdatasync:EIO");
    unsetenv("LISKO_RECORD");
    std::string left = read_file(box / "out/a.mp3");
    run_quietly("umount " + (box / "out").string());

    EXPECT_EQ(put.status, 0) << disk.what << ": " << put.out;
    EXPECT_EQ(read_file(box / "record.txt") == "0+0BWA of 0\n", disk.waited) << disk.what << ": " << read_file(box / "record.txt");
    EXPECT_EQ(failing.out, "Copying 'src\\a.mp3' to out/a.mp3...failed: the target's medium failed to "
                           "take the copy (Input/output error)\r\n") << disk.what;
    EXPECT_EQ(left, "old song") << disk.what;
  }
}

// The power is cut the moment lisko has ended: every copy is whole.
TEST(Media, CopiesAreOnTheMediumWhenLiskoEnds) {
  for (const Disk& disk : kDisks) {
    for (int trial = 0; trial < 2; ++trial) {
      Sandbox box;
      MountedDisk mounted(box, disk);
      if (!mounted.cannot().empty()) GTEST_SKIP() << disk.type << ": " << mounted.cannot();
      Songs songs = make_songs("src", 'f');
      box.add(songs.sources);
      box.add({{"list.m3u", songs.list}});
      Result result = box.run({"list.m3u", "disk/"});
      mounted.crash();
      mounted.mount_again();
      EXPECT_EQ(result.status, 0) << result.out;
      EXPECT_EQ(files_in(mounted.point()), songs.copies) << disk.type << ", trial " << trial;
    }
  }
}

// A medium mounted on dest's folder during the run (an automounter that
// is late): the copies made after it are on it when lisko ends, and the
// one made before, which lies beneath it, is told and fails the run.
TEST(Media, ALateMountIsFlushedAndWhatItHidesIsTold) {
  for (const Disk& disk : kDisks) {
    Sandbox box;
    MountedDisk mounted(box, disk);
    if (!mounted.cannot().empty()) GTEST_SKIP() << disk.type << ": " << mounted.cannot();
    ASSERT_TRUE(run_quietly("umount " + mounted.point().string()));
    Songs songs = make_songs("src", 'm');
    box.add(songs.sources);
    ASSERT_EQ(mkfifo((box / "list.m3u").c_str(), 0644), 0);
    int terminal = -1, screen = -1;
    ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
    pid_t child = start_lisko(box / "", {"list.m3u", "disk/"}, screen, false, screen);
    close(screen);
    int playlist = open((box / "list.m3u").c_str(), O_WRONLY);
    size_t first = songs.list.find('\n') + 1;
    ASSERT_EQ(write(playlist, songs.list.data(), first), static_cast<ssize_t>(first));
    std::string out = read_lines(terminal, 1);
    ASSERT_TRUE(mounted.mount());
    ASSERT_EQ(write(playlist, songs.list.data() + first, songs.list.size() - first),
              static_cast<ssize_t>(songs.list.size() - first));
    close(playlist);
    out += read_lines(terminal, 7);  // the copies, the line of the hidden one, the summary
    int status = wait_for(child);
    close(terminal);
    mounted.crash();  // the moment lisko has ended
    mounted.mount_again();
    Files on_it = songs.copies;
    on_it.erase("s0.mp3");
    EXPECT_EQ(files_in(mounted.point()), on_it) << disk.type;
    EXPECT_NE(out.find("disk/: another file system was mounted on it during the run: 1 copy made "
                       "before lies beneath it, not on it"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(", 1 beneath a file system mounted later;"), std::string::npos) << out;
    EXPECT_EQ(status, 3) << disk.type;
  }
}

// A medium whose writes fail for a while (its image's backing store, a
// tmpfs, full) and then heal. The run after the failed write-out must
// rewrite what the medium lacks, whatever the page cache (or a FUSE
// daemon's cache) still holds: after a remount every song is whole. (ext4
// without its journal, which would otherwise turn the file system
// read-only at the first failed write.)
TEST(Media, RetryAfterAFailedWriteOutLeavesEverySongWhole) {
  const struct {
    const char* what;
    std::vector<std::string> tools;
    std::string make;   // makes the image IMG
    std::string mount;  // mounts IMG on MNT
  } disks[] = {
      {"xfs", {"mkfs.xfs"}, "mkfs.xfs -q -f IMG", "mount -o loop IMG MNT"},
      {"ext4", {"mkfs.ext4"}, "mkfs.ext4 -q -F -O ^has_journal -E nodiscard,lazy_itable_init=0 IMG",
       "mount -o loop IMG MNT"},
      {"exFAT through exfat-fuse", {"mkfs.exfat", "mount.exfat-fuse"}, "mkfs.exfat IMG",
       "mount.exfat-fuse \"$(losetup -f --show IMG)\" MNT"},
  };
  for (const auto& disk : disks) {
    std::vector<std::string> tools = disk.tools;
    tools.insert(tools.end(), {"losetup", "du"});
    std::string reason = cannot_mount(tools);
    if (!reason.empty()) GTEST_SKIP() << disk.what << ": " << reason;
    Sandbox box;
    Songs songs = make_songs("src", 'r');
    box.add(songs.sources);
    box.add({{"list.m3u", songs.list}, {"back/", ""}, {"disk/", ""}});
    const std::string back = (box / "back").string();
    const fs::path image = box / "back/disk.img";
    const std::string mount_disk = with_image(disk.mount, image, box / "disk");
    const std::string unmount_disk = "umount " + (box / "disk").string() + "; losetup -j " +
                                     image.string() + " | cut -d: -f1 | xargs -r losetup -d";
    if (!run_quietly("mount -t tmpfs -o size=400m tmpfs " + back) ||
        !run_quietly("truncate -s 320M " + image.string() + " && " + with_image(disk.make, image, "")) ||
        !run_quietly(mount_disk + " && sync && mount -o remount,size=$(($(du -k " +
                     image.string() + " | cut -f1) + 64))k " + back)) {
      run_quietly(unmount_disk + "; umount " + back);
      GTEST_SKIP() << disk.what << ": cannot make, mount or fill the image here";
    }
    Result failing = box.run({"list.m3u", "disk/"});
    run_quietly("mount -o remount,size=400m " + back);
    Result healed = box.run({"list.m3u", "disk/"});
    // exfat-fuse's daemon reports the medium's failure once more, to the
    // first flush after it: that copy fails, and the next run makes it.
    if (healed.status == 3 && healed.out.find("failed: ") != std::string::npos)
      healed = box.run({"list.m3u", "disk/"});
    run_quietly(unmount_disk);
    run_quietly(mount_disk);
    Files left = files_in(box / "disk");
    run_quietly(unmount_disk + "; umount " + back);

    EXPECT_NE(failing.out.find("Couldn't write the copies out to their medium: "),
              std::string::npos)
        << disk.what << ": the writes did not fail: " << failing.out;
    EXPECT_EQ(failing.status, 3) << disk.what;
    EXPECT_EQ(healed.status, 0) << disk.what << ": " << healed.out;
    EXPECT_TRUE(left == songs.copies) << disk.what << ": the songs on the medium are not whole";
  }
}

// A copy whose bytes on the medium were changed behind the file system's
// back (in its image) while the page cache still holds them: a second run
// keeps it only where it reads the medium itself, which here differs, so
// it is rewritten everywhere, and after a remount the song is whole.
// Where direct reads may be served from the page cache (btrfs, ext4
// journalling data), lisko rewrites every target.
TEST(Media, SecondRunKeepsOnlyWhatTheMediumHolds) {
  const struct {
    const char* what;
    const char* type;
    const char* options;
  } disks[] = {
      {"ext4", "ext4", "loop"},
      {"ext4 journalling data", "ext4", "loop,data=journal"},
      {"btrfs", "btrfs", "loop"},
      {"xfs", "xfs", "loop"},
  };
  std::string song(1 << 20, '\0');
  for (size_t i = 0; i < song.size(); ++i) song[i] = static_cast<char>((i * 2654435761u) >> 13);
  int ran = 0;
  for (const auto& disk : disks) {
    std::string reason = cannot_mount({std::string("mkfs.") + disk.type, "losetup"});
    Sandbox box;
    box.add({{"src/a.mp3", song}, {"list.m3u", "src\\a.mp3\r\n"}, {"disk/", ""}});
    const std::string image = (box / "disk.img").string();
    const std::string mount_disk =
        std::string("mount -o ") + disk.options + " " + image + " " + (box / "disk").string();
    if (reason.empty() && (!run_quietly("truncate -s 320M " + image + " && mkfs." + disk.type +
                                        (std::string(disk.type) == "ext4" ? " -F" : " -f") +
                                        " -q " + image) ||
                           !run_quietly(mount_disk)))
      reason = "cannot make or mount the image here";
    if (!reason.empty()) {
      printf("skipped: %s: %s\n", disk.what, reason.c_str());
      continue;
    }
    ++ran;
    Result first = box.run({"list.m3u", "disk/"});
    int spoiled = spoil_in_image(image, song.substr(0, 4096));
    Result second = box.run({"list.m3u", "disk/"});
    run_quietly("umount " + (box / "disk").string());
    run_quietly(mount_disk);
    std::string left = read_file(box / "disk/a.mp3");
    run_quietly("umount " + (box / "disk").string());

    EXPECT_EQ(first.status, 0) << disk.what << ": " << first.out;
    EXPECT_GT(spoiled, 0) << disk.what << ": the copy's bytes are not in the image";
    EXPECT_EQ(second.out, "Copying 'src\\a.mp3' to disk/a.mp3...succeeded\r\n") << disk.what;
    EXPECT_TRUE(left == song) << disk.what << ": a spoiled copy was kept";
  }
  if (ran == 0) GTEST_SKIP() << "no file system could be mounted here";
}

}  // namespace
