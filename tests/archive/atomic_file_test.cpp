#include "archive/container/atomic_file.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "archive/archive_error.h"

namespace clivara::archive {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("atomic_file_test." + std::to_string(::getpid()) + "." +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        setWriteFailureForTesting(0);
        if (mounted_) ::umount(dir_.c_str());
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }

    static void writeFile(const fs::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes{std::istreambuf_iterator<char>(in), {}};
    }
    // Everything in the folder: a failed save must leave no temporary file behind.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A small tmpfs over the test folder, where root's writes really fail; false if we may not.
    // The mount lives in a namespace of this process only, so a crash leaves nothing behind.
    bool mountTmpfs(unsigned long flags, const char* options) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return false;
        }
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", flags, options) == 0;
        return mounted_;
    }

    // Expects fn to throw ArchiveError of kind problem whose message holds every piece.
    template <typename F>
    static void expectError(F&& fn, ArchiveProblem problem,
                            std::initializer_list<std::string> pieces) {
        try {
            fn();
            ADD_FAILURE() << "no error";
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.problem(), problem) << e.what();
            for (const auto& piece : pieces) {
                EXPECT_NE(std::string(e.what()).find(piece), std::string::npos)
                    << "'" << piece << "' not in: " << e.what();
            }
        }
    }

    fs::path dir_;
    bool mounted_ = false;
    const Bytes original_ = Bytes(3000, 0x41);
    const Bytes replacement_ = Bytes(5000, 0x42);
};

TEST_F(AtomicFile, ReadsAWholeFileAndNamesTheFileInEveryRefusal) {
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    EXPECT_EQ(readWholeFile(file), original_);

    const fs::path missing = dir_ / "Manca.xls";
    expectError([&] { readWholeFile(missing); }, ArchiveProblem::Missing,
                {"Il file \"" + missing.string() + "\" non esiste."});
    expectError([&] { readWholeFile(dir_ / "Manca" / "Archivio.xls"); }, ArchiveProblem::Missing,
                {"non esiste."});

    const fs::path empty = dir_ / "Vuoto.xls";
    writeFile(empty, {});
    expectError([&] { readWholeFile(empty); }, ArchiveProblem::Empty,
                {"Il file \"" + empty.string() + "\" è vuoto: non contiene alcun archivio."});

    fs::create_directory(dir_ / "Cartella.xls");
    expectError([&] { readWholeFile(dir_ / "Cartella.xls"); }, ArchiveProblem::Unreadable,
                {"Cartella.xls\" non può essere letto: è una cartella."});
}

TEST_F(AtomicFile, ReportsAFileItMayNotRead) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    fs::permissions(file, fs::perms::none);
    expectError([&] { readWholeFile(file); }, ArchiveProblem::Unreadable,
                {file.string(), "non può essere letto: permesso negato."});
}

TEST_F(AtomicFile, ReplacesTheFileKeepingItsPermissions) {
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    ::chmod(file.c_str(), 0640);

    replaceFileAtomically(file, replacement_);
    EXPECT_EQ(contents(file), replacement_);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});

    // A file that did not exist yet is created.
    replaceFileAtomically(dir_ / "Nuovo.xls", original_);
    EXPECT_EQ(contents(dir_ / "Nuovo.xls"), original_);
}

TEST_F(AtomicFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);

    setWriteFailureForTesting(ENOSPC);
    expectError([&] { replaceFileAtomically(file, replacement_); }, ArchiveProblem::WriteFailed,
                {"Il file \"" + file.string() + "\" non può essere salvato: disco pieno."});
    setWriteFailureForTesting(EIO);
    expectError([&] { replaceFileAtomically(file, replacement_); }, ArchiveProblem::WriteFailed,
                {file.string()});
    EXPECT_EQ(contents(file), original_);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});

    setWriteFailureForTesting(0);
    replaceFileAtomically(file, replacement_);
    EXPECT_EQ(contents(file), replacement_);
}

// Content written in pieces at positions of their own, as a container writer does when it
// comes back for its header: the pieces land where they were sent, a gap reads as zeros, and
// a failure of the writer or of a write leaves the old file and no temporary file.
TEST_F(AtomicFile, WritesPiecesAtTheirPositionsAndCleansUpAfterAFailedFill) {
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    const Bytes tail(100, 0x54), head(10, 0x48);
    replaceFileAtomically(file, [&](const PositionedWrite& write) {
        EXPECT_EQ(write(200, tail), 0);
        EXPECT_EQ(write(0, head), 0);
    });
    Bytes expected(300, 0);
    std::fill(expected.begin(), expected.begin() + 10, 0x48);
    std::fill(expected.begin() + 200, expected.end(), 0x54);
    EXPECT_EQ(contents(file), expected);

    EXPECT_THROW(replaceFileAtomically(file,
                                       [&](const PositionedWrite& write) {
                                           write(0, replacement_);
                                           throw std::runtime_error("writer gave up");
                                       }),
                 std::runtime_error);
    EXPECT_EQ(contents(file), expected);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});

    // A failed write wins over whatever the writer throws on seeing it.
    setWriteFailureForTesting(ENOSPC);
    expectError(
        [&] {
            replaceFileAtomically(file, [&](const PositionedWrite& write) {
                if (write(0, replacement_) != 0) throw std::runtime_error("short write");
            });
        },
        ArchiveProblem::WriteFailed, {file.string(), "disco pieno"});
    setWriteFailureForTesting(0);
    EXPECT_EQ(contents(file), expected);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});
}

TEST_F(AtomicFile, RefusesAFolderThatCannotBeWritten) {
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    if (::geteuid() != 0) {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        expectError([&] { replaceFileAtomically(file, replacement_); }, ArchiveProblem::WriteFailed,
                    {file.string(), "permesso negato"});
    } else {
        // Root writes through permissions: a read-only mount is what stops it.
        if (!mountTmpfs(0, "size=64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
        writeFile(file, original_);
        ASSERT_EQ(::mount("tmpfs", dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
        expectError([&] { replaceFileAtomically(file, replacement_); }, ArchiveProblem::WriteFailed,
                    {file.string(), "cartella in sola lettura"});
    }
    EXPECT_EQ(contents(file), original_);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});
}

TEST_F(AtomicFile, RealFullDiskKeepsTheOldFile) {
    if (!mountTmpfs(0, "size=64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    expectError([&] { replaceFileAtomically(file, Bytes(1 << 20, 0x43)); },
                ArchiveProblem::WriteFailed, {file.string(), "disco pieno"});
    EXPECT_EQ(contents(file), original_);
    EXPECT_EQ(listing(), std::vector<std::string>{"Archivio.xls"});
}

TEST_F(AtomicFile, ReadOnlyFileIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write every file";
    const fs::path file = dir_ / "Archivio.xls";
    writeFile(file, original_);
    ::chmod(file.c_str(), 0444);
    expectError([&] { replaceFileAtomically(file, replacement_); }, ArchiveProblem::WriteFailed,
                {"permesso negato"});
    EXPECT_EQ(contents(file), original_);
}

}  // namespace
}  // namespace clivara::archive
