// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sealvane/platform/Process.h"

namespace sealvane {
namespace {

TEST(CoreDumps, AreOffOnceAProgramKeepsItsSecretsOutOfThem) {
  // In a child, so that this test program stays as it was.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit unlimited {RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_CORE, &unlimited);
    ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    platform::KeepSecretsOutOfCoreDumps();
    rlimit core {};
    ::getrlimit(RLIMIT_CORE, &core);
    const bool off = core.rlim_cur == 0 && core.rlim_max == 0 && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
    ::_exit(off ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace sealvane

#include "AssuanReply.h"

namespace sealvane {
namespace {

TEST(PinentryReplies, DataStatusOkAndErrorLines) {
  namespace assuan = platform::assuan;
  assuan::Reply reply;
  std::string data;
  for (const char* line : {"S PASSWORD_FROM_CACHE", "# a comment", "D s3cr%25et%0Aline", "D %41%4", "OK", "D late"}) {
    assuan::TakeLine(line, reply, &data);
  }
  EXPECT_TRUE(reply.done);
  EXPECT_TRUE(reply.ok);
  EXPECT_EQ(data, "s3cr%et\nlineA%4") << "escapes of two hexadecimal digits only; nothing after OK";

  assuan::Reply cancelled;
  assuan::TakeLine("ERR 83886179 Operation cancelled <Pinentry>", cancelled, nullptr);
  EXPECT_TRUE(cancelled.done);
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error & 0xFFFF, 99u);

  // A sign or a blank is no hexadecimal digit.
  std::string out;
  assuan::Unescape("%-1% 1%+f%ff", out);
  EXPECT_EQ(out, "%-1% 1%+f\xff");
}

}  // namespace
}  // namespace sealvane
