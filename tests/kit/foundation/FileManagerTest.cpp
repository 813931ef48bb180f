#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <thread>
#include <vector>

#include "kit/foundation/FileHandle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/String.h"
#include "support/TempHome.h"

using kit::Error;
using kit::FileHandle;
using kit::FileManager;
using kit::Ref;

namespace {

class FileManagerTest : public ::testing::Test {
 protected:
  std::string at(const std::string& name) const { return home_.path() + "/" + name; }
  std::string read(const std::string& path) const {
    auto d = FileManager::readFile(path);
    return d ? d->toString() : "(unreadable)";
  }
  static void expectPosix(const Ref<Error>& e, int code, const std::string& path) {
    ASSERT_TRUE(e);
    EXPECT_EQ(e->domain(), Error::kPOSIXErrorDomain);
    EXPECT_EQ(e->code(), code);
    auto* p = e->userInfo()->get<kit::String>(Error::kFilePathErrorKey);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->str(), path);
  }
  tolvatest::TempHome home_;
};

}  // namespace

TEST_F(FileManagerTest, CreatesDirectoriesListsAndDescribes) {
  std::string deep = at("a/b//c/");
  ASSERT_TRUE(FileManager::createDirectory(deep));
  EXPECT_TRUE(FileManager::createDirectory(deep));  // existing folder is fine with intermediates
  EXPECT_TRUE(FileManager::isDirectory(at("a/b/c")));
  Ref<Error> e;
  EXPECT_FALSE(FileManager::createDirectory(at("a/b"), false, &e));
  expectPosix(e, EEXIST, at("a/b"));
  EXPECT_FALSE(FileManager::createDirectory(at("x/y"), false, &e));
  expectPosix(e, ENOENT, at("x/y"));

  ASSERT_TRUE(FileManager::writeFile(at("a/zeta"), "12345"));
  ASSERT_TRUE(FileManager::writeFile(at("a/Alpha"), ""));
  ASSERT_TRUE(FileManager::writeFile(at("a/beta"), "x"));
  EXPECT_EQ(*FileManager::contentsOfDirectory(at("a")), (std::vector<std::string>{"Alpha", "b", "beta", "zeta"}));
  EXPECT_FALSE(FileManager::createDirectory(at("a/zeta/sub"), true, &e));
  EXPECT_EQ(e->code(), ENOTDIR);

  auto attrs = FileManager::attributesOfItem(at("a/zeta"));
  ASSERT_TRUE(attrs);
  EXPECT_EQ(attrs->size, 5u);
  EXPECT_FALSE(attrs->isDirectory);
  EXPECT_EQ(attrs->permissions, 0644u);
  EXPECT_LT(std::abs(attrs->modificationDate->timeIntervalSince1970() - static_cast<double>(time(nullptr))), 60);
  EXPECT_EQ(FileManager::fileSize(at("a/zeta")), 5u);
  EXPECT_FALSE(FileManager::fileSize(at("nope"), &e));
  expectPosix(e, ENOENT, at("nope"));
  EXPECT_FALSE(FileManager::contentsOfDirectory(at("a/zeta"), &e));
  EXPECT_EQ(e->code(), ENOTDIR);

  bool dir = true;
  EXPECT_TRUE(FileManager::fileExists(at("a/zeta"), &dir));
  EXPECT_FALSE(dir);
  EXPECT_FALSE(FileManager::fileExists(at("a/zeta") + std::string(1, '\0') + "x"));
  EXPECT_FALSE(FileManager::writeFile(at("a/zeta") + std::string(1, '\0') + "x", "y", &e));
  EXPECT_EQ(e->code(), EINVAL);
  EXPECT_EQ(read(at("a/zeta")), "12345");
}

TEST_F(FileManagerTest, WriteReplacesAtomicallyAndKeepsPermissions) {
  std::string f = at("secret");
  ASSERT_TRUE(FileManager::writeFile(f, "one", nullptr, 0600));
  ASSERT_TRUE(FileManager::writeFile(f, "two"));
  EXPECT_EQ(read(f), "two");
  EXPECT_EQ(FileManager::attributesOfItem(f)->permissions, 0600u);
  // No temporary files are left next to it.
  EXPECT_EQ(*FileManager::contentsOfDirectory(home_.path()), (std::vector<std::string>{"secret"}));

  Ref<Error> e;
  ASSERT_TRUE(FileManager::createDirectory(at("dir")));
  EXPECT_FALSE(FileManager::writeFile(at("dir"), "x", &e));
  EXPECT_TRUE(e);
  EXPECT_TRUE(FileManager::isDirectory(at("dir")));
  EXPECT_EQ(FileManager::contentsOfDirectory(home_.path())->size(), 2u);
  EXPECT_FALSE(FileManager::writeFile(at("missing/f"), "x", &e));
  EXPECT_EQ(e->code(), ENOENT);
  EXPECT_FALSE(FileManager::readFile(at("dir"), &e));
  EXPECT_EQ(e->code(), EISDIR);

  std::string big(300000, 'q');
  big[12345] = '\0';
  ASSERT_TRUE(FileManager::writeFile(f, big));
  EXPECT_EQ(read(f), big);
}

TEST_F(FileManagerTest, ReadsOnlyRegularFilesWithoutBlockingAndWithinTheBound) {
  Ref<Error> e;
  // A FIFO with no writer would block the open; a link to /dev/zero would be read forever.
  ASSERT_EQ(::mkfifo(at("fifo.html").c_str(), 0600), 0);
  EXPECT_FALSE(FileManager::readFile(at("fifo.html"), &e));
  expectPosix(e, ENODEV, at("fifo.html"));
  EXPECT_NE(e->localizedDescription().find("not a regular file"), std::string::npos);
  ASSERT_EQ(::symlink("/dev/zero", at("zero.html").c_str()), 0);
  EXPECT_FALSE(FileManager::readFile(at("zero.html"), &e));
  expectPosix(e, ENODEV, at("zero.html"));
  EXPECT_LT(FileManager::openRegularFile(at("zero.html")), 0);

  ASSERT_TRUE(FileManager::writeFile(at("ten"), "0123456789"));
  EXPECT_EQ(FileManager::readFile(at("ten"), &e, 10)->toString(), "0123456789");
  EXPECT_FALSE(FileManager::readFile(at("ten"), &e, 9));
  expectPosix(e, EFBIG, at("ten"));
  EXPECT_NE(e->localizedDescription().find("is larger than 9 bytes"), std::string::npos);
  uint64_t size = 0;
  const int fd = FileManager::openRegularFile(at("ten"), &e, 10, &size);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(size, 10u);
  ::close(fd);
}

TEST_F(FileManagerTest, MovesAndCopiesWithoutReplacing) {
  ASSERT_TRUE(FileManager::createDirectory(at("src/sub")));
  ASSERT_TRUE(FileManager::writeFile(at("src/sub/f"), "data", nullptr, 0640));
  ASSERT_EQ(::symlink("sub/f", at("src/link").c_str()), 0);
  ASSERT_TRUE(FileManager::createDirectory(at("other")));

  ASSERT_TRUE(FileManager::copyItem(at("src"), at("other/copy")));
  EXPECT_EQ(read(at("other/copy/sub/f")), "data");
  EXPECT_EQ(read(at("other/copy/link")), "data");
  EXPECT_TRUE(FileManager::attributesOfItem(at("other/copy/link"))->isSymbolicLink);
  EXPECT_EQ(FileManager::attributesOfItem(at("other/copy/sub/f"))->permissions, 0640u);
  EXPECT_EQ(FileManager::attributesOfItem(at("other/copy/sub/f"))->modificationDate->timeIntervalSince1970(),
            FileManager::attributesOfItem(at("src/sub/f"))->modificationDate->timeIntervalSince1970());

  Ref<Error> e;
  EXPECT_FALSE(FileManager::copyItem(at("src"), at("other/copy"), &e));
  expectPosix(e, EEXIST, at("other/copy"));
  EXPECT_FALSE(FileManager::copyItem(at("none"), at("other/none"), &e));
  expectPosix(e, ENOENT, at("none"));
  EXPECT_FALSE(FileManager::fileExists(at("other/none")));

  ASSERT_TRUE(FileManager::writeFile(at("other/taken"), "keep me"));
  EXPECT_FALSE(FileManager::moveItem(at("src/sub/f"), at("other/taken"), &e));
  expectPosix(e, EEXIST, at("other/taken"));
  EXPECT_EQ(read(at("other/taken")), "keep me");
  EXPECT_EQ(read(at("src/sub/f")), "data");
  EXPECT_FALSE(FileManager::moveItem(at("src"), at("other/copy"), &e));  // a non-empty folder is not replaced
  EXPECT_EQ(e->code(), EEXIST);

  ASSERT_TRUE(FileManager::moveItem(at("src"), at("other/moved")));
  EXPECT_FALSE(FileManager::fileExists(at("src")));
  EXPECT_EQ(read(at("other/moved/sub/f")), "data");
  EXPECT_FALSE(FileManager::moveItem(at("src"), at("x"), &e));
  expectPosix(e, ENOENT, at("src"));
}

TEST_F(FileManagerTest, MovesAcrossFileSystemsByCopying) {
  struct stat here{}, shm{};
  std::string tmpl = "/dev/shm/tolva-fm-XXXXXX";
  if (::stat(home_.path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev ||
      !::mkdtemp(tmpl.data())) {
    GTEST_SKIP() << "no second file system to move across";
  }
  std::string other = tmpl;
  ASSERT_TRUE(FileManager::createDirectory(at("tree/inner")));
  ASSERT_TRUE(FileManager::writeFile(at("tree/inner/f"), "payload", nullptr, 0600));
  ASSERT_TRUE(FileManager::writeFile(at("single"), "one"));

  ASSERT_TRUE(FileManager::moveItem(at("single"), other + "/single"));
  EXPECT_FALSE(FileManager::fileExists(at("single")));
  EXPECT_EQ(read(other + "/single"), "one");

  ASSERT_TRUE(FileManager::moveItem(at("tree"), other + "/tree"));
  EXPECT_FALSE(FileManager::fileExists(at("tree")));
  EXPECT_EQ(read(other + "/tree/inner/f"), "payload");
  EXPECT_EQ(FileManager::attributesOfItem(other + "/tree/inner/f")->permissions, 0600u);

  // Moving back onto an existing name refuses and keeps both.
  ASSERT_TRUE(FileManager::writeFile(at("single"), "local"));
  Ref<Error> e;
  EXPECT_FALSE(FileManager::moveItem(other + "/single", at("single"), &e));
  EXPECT_EQ(e->code(), EEXIST);
  EXPECT_EQ(read(at("single")), "local");
  EXPECT_EQ(read(other + "/single"), "one");
  EXPECT_TRUE(FileManager::removeItem(other));
}

TEST_F(FileManagerTest, RemovesFilesLinksAndTrees) {
  ASSERT_TRUE(FileManager::createDirectory(at("keep")));
  ASSERT_TRUE(FileManager::writeFile(at("keep/precious"), "x"));
  ASSERT_TRUE(FileManager::createDirectory(at("tree/a/b")));
  ASSERT_TRUE(FileManager::writeFile(at("tree/a/b/f"), "x"));
  // A link inside the tree to a folder outside: removing the tree removes the link only.
  ASSERT_EQ(::symlink(at("keep").c_str(), at("tree/a/out").c_str()), 0);
  ASSERT_TRUE(FileManager::removeItem(at("tree")));
  EXPECT_FALSE(FileManager::fileExists(at("tree")));
  EXPECT_EQ(read(at("keep/precious")), "x");

  ASSERT_EQ(::symlink(at("keep").c_str(), at("link").c_str()), 0);
  ASSERT_TRUE(FileManager::removeItem(at("link")));
  EXPECT_TRUE(FileManager::fileExists(at("keep/precious")));
  Ref<Error> e;
  EXPECT_FALSE(FileManager::removeItem(at("link"), &e));
  expectPosix(e, ENOENT, at("link"));
}

TEST_F(FileManagerTest, CreateFileNeverReplaces) {
  std::string f = at("reserved");
  ASSERT_TRUE(FileManager::createFile(f));
  EXPECT_EQ(FileManager::fileSize(f), 0u);
  Ref<Error> e;
  EXPECT_FALSE(FileManager::createFile(f, "new", &e));
  expectPosix(e, EEXIST, f);
  EXPECT_EQ(read(f), "");
  EXPECT_FALSE(FileManager::createFile(f, {}, &e));
  EXPECT_EQ(e->code(), EEXIST);
  ASSERT_TRUE(FileManager::createFile(at("withData"), "abc", nullptr, 0600));
  EXPECT_EQ(read(at("withData")), "abc");
  EXPECT_EQ(FileManager::attributesOfItem(at("withData"))->permissions, 0600u);
  EXPECT_EQ(FileManager::contentsOfDirectory(home_.path())->size(), 2u);  // no temporaries left
}

TEST_F(FileManagerTest, RacingCreatorsHaveExactlyOneWinner) {
  for (int round = 0; round < 20; ++round) {
    std::string f = at("race" + std::to_string(round));
    std::atomic<int> wins{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) {
        }
        Ref<Error> e;
        if (FileManager::createFile(f, t % 2 ? std::string("writer") + std::to_string(t) : std::string(), &e)) {
          ++wins;
        } else {
          EXPECT_EQ(e->code(), EEXIST);
        }
      });
    }
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(wins.load(), 1);
  }
  EXPECT_EQ(FileManager::contentsOfDirectory(home_.path())->size(), 20u);
}

TEST_F(FileManagerTest, UniqueFilesAreReservedAndDistinct) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    auto p = FileManager::createUniqueFile(home_.path(), "dl-", ".part");
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->ends_with(".part"));
    EXPECT_TRUE(FileManager::fileExists(*p));
    names.insert(*p);
  }
  EXPECT_EQ(names.size(), 50u);
  Ref<Error> e;
  EXPECT_FALSE(FileManager::createUniqueFile(at("missing"), "x", {}, &e));
  EXPECT_EQ(e->code(), ENOENT);
  EXPECT_FALSE(FileManager::createUniqueFile(home_.path(), "../x", {}, &e));
  EXPECT_EQ(e->code(), EINVAL);
}

TEST_F(FileManagerTest, FileHandleAppends) {
  std::string f = at("partial");
  ASSERT_TRUE(FileManager::writeFile(f, "head-"));
  Ref<FileHandle> h = FileHandle::fileHandleForAppending(f);
  ASSERT_TRUE(h);
  EXPECT_TRUE(h->write("one-"));
  EXPECT_TRUE(h->write(std::string(100000, 'z')));
  EXPECT_TRUE(h->synchronize());
  EXPECT_EQ(h->length(), 5u + 4u + 100000u);
  EXPECT_TRUE(h->truncate(9));
  EXPECT_TRUE(h->write("two"));  // appends at the new end
  EXPECT_TRUE(h->close());
  EXPECT_TRUE(h->close());
  EXPECT_EQ(read(f), "head-one-two");
  Ref<Error> e;
  EXPECT_FALSE(h->write("late", &e));
  expectPosix(e, EBADF, f);
  EXPECT_FALSE(h->isOpen());

  Ref<FileHandle> fresh = FileHandle::fileHandleForAppending(at("new"), nullptr, 0600);
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(fresh->write("x"));
  fresh = nullptr;  // closes
  EXPECT_EQ(read(at("new")), "x");
  EXPECT_EQ(FileManager::attributesOfItem(at("new"))->permissions & 0777u, 0600u);
  EXPECT_FALSE(FileHandle::fileHandleForAppending(at("no/such/dir"), &e));
  EXPECT_EQ(e->code(), ENOENT);

  // A planted link is not followed, and a FIFO is not waited on.
  ASSERT_TRUE(FileManager::writeFile(at("target"), "theirs"));
  ASSERT_EQ(::symlink(at("target").c_str(), at("link").c_str()), 0);
  EXPECT_FALSE(FileHandle::fileHandleForAppending(at("link"), &e));
  EXPECT_EQ(e->code(), ELOOP);
  EXPECT_EQ(read(at("target")), "theirs");
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(FileHandle::fileHandleForAppending(at("fifo"), &e));
}
