// Read errors told from the end of a file, results that appear only when
// complete, refused result names and inputs, and the memory a process may
// take.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common_sgt/AvailableMemory.h"
#include "common_sgt/FileUtil.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/SafeFiles.h"

namespace {

std::string dirPath() {
  std::string d = testing::TempDir() + "safefiles_" + std::to_string(getpid());
  mkdir(d.c_str(), 0755);
  return d;
}

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Files in a folder whose names hold ".tmp" (temporary results left over).
int temporaries(const std::string& dir) {
  int n = 0;
  FILE* ls = popen(("ls -a '" + dir + "'").c_str(), "r");
  char line[4096];
  while (ls && fgets(line, sizeof line, ls))
    if (std::string(line).find(".tmp") != std::string::npos) ++n;
  if (ls) pclose(ls);
  return n;
}

// Reading /proc/self/mem at offset 0 fails with EIO: a real read error
// without any injection.
TEST(LineReaderErrors, ReadErrorIsNotTheEnd) {
  LineReader r;
  ASSERT_TRUE(r.open("/proc/self/mem"));
  std::string_view line;
  EXPECT_FALSE(r.next(line));
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(r.error(), EIO);
  EXPECT_EQ(r.lineNumber(), 0);
  EXPECT_EQ(countLines("/proc/self/mem"), -1);
  EXPECT_EQ(countDataLines("/proc/self/mem"), -1);
}

TEST(LineReaderErrors, EndOfFileIsNoError) {
  const std::string d = dirPath();
  put(d + "/a.txt", "x\ny\n\n\n");
  LineReader r;
  ASSERT_TRUE(r.open((d + "/a.txt").c_str()));
  std::string_view line;
  int n = 0;
  while (r.next(line)) ++n;
  EXPECT_EQ(n, 2);
  EXPECT_FALSE(r.failed());
  EXPECT_EQ(r.error(), 0);
}

TEST(LineReaderErrors, DirectoryIsRefused) {
  const std::string d = dirPath();
  LineReader r;
  errno = 0;
  EXPECT_FALSE(r.open(d.c_str()));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(r.isOpen());
  EXPECT_EQ(countLines(d.c_str()), -1);
}

TEST(InputKinds, NamesWhatIsNotARegularFile) {
  const std::string d = dirPath();
  put(d + "/plain", "x\n");
  unlink((d + "/fifo").c_str());
  ASSERT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(nonRegularKind((d + "/plain").c_str()), "");
  EXPECT_EQ(nonRegularKind((d + "/missing").c_str()), "");
  EXPECT_EQ(nonRegularKind(d.c_str()), "a directory");
  EXPECT_EQ(nonRegularKind((d + "/fifo").c_str()), "a FIFO");
  EXPECT_EQ(nonRegularKind("/dev/null"), "a character device");
  unlink((d + "/fifo").c_str());
}

TEST(RefusedResults, LinksAndNamesOfTheInput) {
  const std::string d = dirPath();
  const std::string in = d + "/in.geno";
  put(in, "data\n");
  unlink((d + "/sym").c_str());
  unlink((d + "/hard").c_str());
  ASSERT_EQ(symlink(in.c_str(), (d + "/sym").c_str()), 0);
  ASSERT_EQ(link(in.c_str(), (d + "/hard").c_str()), 0);
  put(d + "/other", "data\n");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(refuseResultsOverInputs({d + "/sym"}, {in}, "W"));
  EXPECT_FALSE(refuseResultsOverInputs({d + "/x", d + "/hard"}, {in}, "W"));
  EXPECT_FALSE(refuseResultsOverInputs({in}, {in}, "W"));  // by name, even if it did not exist
  EXPECT_TRUE(refuseResultsOverInputs({d + "/other", d + "/new", ""}, {in}, "W"));
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("W refused: the result file " + d + "/sym is the input file " + in + "; nothing was written"),
            std::string::npos)
      << said;
  EXPECT_EQ(get(in), "data\n");
}

TEST(ResultFiles, AppearOnlyWhenCommitted) {
  const std::string d = dirPath();
  const std::string name = d + "/r.txt";
  put(name, "old\n");
  chmod(name.c_str(), 0640);
  {
    ResultFile r;
    ASSERT_TRUE(r.open(name));
    fputs("new\n", r.fp());
    fflush(r.fp());
    EXPECT_EQ(get(name), "old\n");  // not yet
    EXPECT_EQ(temporaries(d), 1);
    ASSERT_TRUE(r.commit());
  }
  EXPECT_EQ(get(name), "new\n");
  EXPECT_EQ(temporaries(d), 0);
  struct stat st {};
  stat(name.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the mode of the file it replaced
  {
    ResultFile r;
    ASSERT_TRUE(r.open(name));
    fputs("abandoned\n", r.fp());
  }  // neither committed nor discarded: the destructor discards
  EXPECT_EQ(get(name), "new\n");
  EXPECT_EQ(temporaries(d), 0);
}

TEST(ResultFiles, ReadBackBeforeCommit) {
  const std::string d = dirPath();
  ResultFile r;
  ASSERT_TRUE(r.open(d + "/rb.txt", true));
  fputs("abc\n", r.fp());
  ASSERT_EQ(fseek(r.fp(), 0, SEEK_SET), 0);
  char buf[8] = {};
  ASSERT_NE(fgets(buf, sizeof buf, r.fp()), nullptr);
  EXPECT_STREQ(buf, "abc\n");
  ASSERT_TRUE(r.commit(true));
  EXPECT_EQ(get(d + "/rb.txt"), "abc\n");
}

// A link to a device, a FIFO as input and a failing write are refused through
// the programs in robustness/system_faults.sh.
TEST(ResultFiles, FollowLinksAndRefuseFolders) {
  const std::string d = dirPath();
  put(d + "/target", "old\n");
  unlink((d + "/link").c_str());
  ASSERT_EQ(symlink((d + "/target").c_str(), (d + "/link").c_str()), 0);
  {
    ResultFile r;
    ASSERT_TRUE(r.open(d + "/link"));
    fputs("new\n", r.fp());
    ASSERT_TRUE(r.commit());
  }
  char text[256] = {};
  ASSERT_GT(readlink((d + "/link").c_str(), text, sizeof text - 1), 0);
  EXPECT_EQ(std::string(text), d + "/target");  // still a link
  EXPECT_EQ(get(d + "/target"), "new\n");

  ResultFile dir;
  EXPECT_FALSE(dir.open(d));
  EXPECT_EQ(dir.why(), strerror(EISDIR));
  ResultFile missing;
  EXPECT_FALSE(missing.open(d + "/no/such/folder/r.txt"));
  EXPECT_EQ(missing.why(), strerror(ENOENT));
  EXPECT_EQ(temporaries(d), 0);
}

TEST(AvailableMemory, MemAvailableLine) {
  const std::string d = dirPath();
  put(d + "/meminfo", "MemTotal:       16000 kB\nMemFree:  100 kB\nMemAvailable:    2048 kB\n");
  EXPECT_EQ(memAvailableBytes((d + "/meminfo").c_str()), 2048LL * 1024);
  put(d + "/meminfo2", "MemTotal:       16000 kB\n");
  EXPECT_EQ(memAvailableBytes((d + "/meminfo2").c_str()), -1);
  EXPECT_EQ(memAvailableBytes((d + "/none").c_str()), -1);
}

// Limits apply at every level up to the root; the tightest room wins; "max"
// and v1's huge "no limit" value are no limits.
TEST(AvailableMemory, CgroupLimitsAtEveryLevel) {
  const std::string root = dirPath() + "/cg";
  for (const char* dir : {"", "/a", "/a/b", "/memory", "/memory/job", "/memory/job/step"})
    mkdir((root + dir).c_str(), 0755);
  put(root + "/a/memory.max", "1000000\n");
  put(root + "/a/memory.current", "400000\n");
  put(root + "/a/b/memory.max", "max\n");
  put(root + "/a/b/memory.current", "300000\n");
  put(root + "/v2", "0::/a/b\n");
  EXPECT_EQ(cgroupRoomBytes((root + "/v2").c_str(), root), 600000);

  put(root + "/memory/job/step/memory.limit_in_bytes", "9223372036854771712\n");
  put(root + "/memory/job/memory.limit_in_bytes", "5000000\n");
  put(root + "/memory/job/memory.usage_in_bytes", "1000000\n");
  put(root + "/v1", "5:cpu,cpuacct:/job\n4:memory:/job/step\n");
  EXPECT_EQ(cgroupRoomBytes((root + "/v1").c_str(), root), 4000000);

  put(root + "/both", "4:memory:/job/step\n0::/a/b\n");
  EXPECT_EQ(cgroupRoomBytes((root + "/both").c_str(), root), 600000);
  // Usage above the limit leaves no room at all.
  put(root + "/a/memory.current", "2000000\n");
  EXPECT_EQ(cgroupRoomBytes((root + "/v2").c_str(), root), 0);
  put(root + "/none", "0::/elsewhere\n");
  EXPECT_EQ(cgroupRoomBytes((root + "/none").c_str(), root), -1);
}

TEST(AvailableMemory, AddressSpaceLimit) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's shadow memory exceeds any small address-space limit";
#endif
  const std::string d = dirPath();
  put(d + "/status", "Name:\tx\nVmSize:\t  102400 kB\n");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit rl {};
    getrlimit(RLIMIT_AS, &rl);
    const int unlimited = addressSpaceRoomBytes((d + "/status").c_str()) == -1 || rl.rlim_cur != RLIM_INFINITY;
    // Lowering the soft limit only: the status file, not the process, says
    // what is in use.
    rl.rlim_cur = 200LL << 20;
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(2);
    const long long room = addressSpaceRoomBytes((d + "/status").c_str());
    const long long all = availableMemoryBytes();
    _exit(unlimited && room == (200LL << 20) - (100LL << 20) && all >= 0 && all <= (200LL << 20) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
