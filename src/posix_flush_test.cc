#include "posix_flush.h"

#include <gtest/gtest.h>

namespace {

// Where a rename is committed only after the data written before it, a
// replacing copy is written out and waited for; elsewhere flushed.
TEST(PosixFlush, RenamesFollowDataOnJournalsThatKeepOrder) {
  const unsigned long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kFat = 0x4d44,
                      kExfat = 0x2011BAB0, kFuse = 0x65735546, kTmpfs = 0x01021994, kNfs = 0x6969;
  const char kOrdered[] = "rw\nbarrier\ndata=ordered\nerrors=continue\n";
  const struct {
    const char* what;
    unsigned long type;
    const char* options;
    bool follow;
  } cases[] = {
      {"XFS", kXfs, "", true},
      {"btrfs", kBtrfs, "", true},
      {"ext4, ordered", kExt, kOrdered, true},
      {"ext4, journalling data", kExt, "rw\ndata=journal\n", true},
      {"ext4, data=writeback", kExt, "rw\ndata=writeback\n", false},
      {"ext4 without a journal lists no data mode", kExt, "rw\nbarrier\ndelalloc\n", false},
      {"ext4 whose options cannot be read", kExt, "", false},
      {"a line that only begins so", kExt, "rw\ndata=orderedx\n", false},
      {"the kernel's FAT", kFat, kOrdered, false},
      {"exFAT", kExfat, "", false},
      {"FUSE", kFuse, "", false},
      {"tmpfs", kTmpfs, "", false},
      {"NFS", kNfs, "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(renames_follow_data_on(c.type, c.options), c.follow) << c.what;
}

}  // namespace
