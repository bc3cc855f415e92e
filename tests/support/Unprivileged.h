#pragma once
// Opens files as the unprivileged user "nobody" while it lives: for root the
// permission bits are not checked at all. Every thread of the process is
// affected (the decoding workers open files too); the saved user id 0 takes
// it back. For any other user it changes nothing.
#include <gtest/gtest.h>
#include <unistd.h>

class UnprivilegedFileAccess {
 public:
  explicit UnprivilegedFileAccess(bool wanted = true) : FDropped(wanted && geteuid() == 0) {
    if (!FDropped) return;
    EXPECT_EQ(setegid(65534), 0);
    EXPECT_EQ(seteuid(65534), 0);
  }
  ~UnprivilegedFileAccess() {
    if (!FDropped) return;
    EXPECT_EQ(seteuid(0), 0);
    EXPECT_EQ(setegid(0), 0);
  }
  UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
  UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

 private:
  bool FDropped;
};
