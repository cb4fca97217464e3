#include "platform/atoms/file_atom_table.h"
#include "common/environment.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vz::platform {
namespace {

TEST(FileAtomTable, CountsReferencesAndComparesWithoutCase)
{
    test::TempDir dir;
    FileAtomTable atoms(dir.file("atoms"));
    EXPECT_FALSE(atoms.findAtom("qelavat").value());
    EXPECT_FALSE(atoms.deleteAtom("qelavat").ok());

    ASSERT_TRUE(atoms.addAtom("qelavat").ok());
    ASSERT_TRUE(atoms.addAtom("QelAvAt").ok());
    EXPECT_TRUE(atoms.findAtom("QELAVAT").value());
    EXPECT_EQ(test::readAll(dir.file("atoms/qelavat")), "2\n");

    ASSERT_TRUE(atoms.deleteAtom("qelavat").ok());
    EXPECT_TRUE(atoms.findAtom("qelavat").value());
    ASSERT_TRUE(atoms.deleteAtom("qelavat").ok());
    EXPECT_FALSE(atoms.findAtom("qelavat").value());
    EXPECT_FALSE(atoms.deleteAtom("qelavat").ok());
}

TEST(FileAtomTable, FolderAndFilesAreOpenToEveryUser)
{
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755); // so that another user can reach the table
    FileAtomTable atoms(dir.file("run/atoms")); // the runtime folder is missing too
    ASSERT_TRUE(atoms.addAtom("qelavat").ok());
    struct stat st;
    ASSERT_EQ(::stat(dir.file("run/atoms").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
    ASSERT_EQ(::stat(dir.file("run/atoms/qelavat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    // Another user of the machine (the mail interceptor) finds and deletes it.
    std::string folder = atoms.folder();
    EXPECT_TRUE(test::runAsUnprivileged([folder] {
        FileAtomTable theirs(folder);
        return theirs.findAtom("qelavat").value() && theirs.deleteAtom("qelavat").ok()
            && !theirs.findAtom("qelavat").value() && theirs.addAtom("qelavat").ok();
    }));
    EXPECT_TRUE(atoms.findAtom("qelavat").value());
    EXPECT_TRUE(atoms.addAtom("qelavat").ok()) << "an atom file another user made is counted on";
    EXPECT_EQ(test::readAll(dir.file("run/atoms/qelavat")), "2\n");
}

TEST(FileAtomTable, NamesNeverReachOutsideTheFolder)
{
    struct Case {
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        { "qelavat", "qelavat" },
        { "QelAvAt", "qelavat" },
        { "../x", "%2E%2E%2Fx" },
        { "a b", "a%20b" },
        { "x_y-1", "x_y-1" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileAtomTable::fileNameOf(c.name), c.file) << c.name;

    test::TempDir dir;
    FileAtomTable atoms(dir.file("atoms"));
    ASSERT_TRUE(atoms.addAtom("../escape").ok());
    EXPECT_FALSE(std::filesystem::exists(dir.file("escape")));
    EXPECT_FALSE(atoms.addAtom("").ok());
    EXPECT_FALSE(atoms.addAtom(std::string(256, 'a')).ok());
}

TEST(FileAtomTable, PlantedLinksAreNeverWrittenThrough)
{
    test::TempDir dir;
    std::string victim = dir.write("victim", "precious");
    std::string folder = dir.mkdir("atoms");
    ::chmod(folder.c_str(), 01777);
    FileAtomTable atoms(folder);

    ASSERT_EQ(::symlink(victim.c_str(), (folder + "/sym").c_str()), 0);
    EXPECT_FALSE(atoms.addAtom("sym").ok());
    ASSERT_EQ(::link(victim.c_str(), (folder + "/hard").c_str()), 0);
    EXPECT_FALSE(atoms.addAtom("hard").ok());
    EXPECT_FALSE(atoms.deleteAtom("hard").ok());
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0666), 0);
    EXPECT_FALSE(atoms.addAtom("fifo").ok());
    EXPECT_EQ(test::readAll(victim), "precious");

    // The atoms folder itself as a link elsewhere.
    std::string elsewhere = dir.mkdir("elsewhere");
    ASSERT_EQ(::symlink(elsewhere.c_str(), dir.file("linked").c_str()), 0);
    FileAtomTable linked(dir.file("linked"));
    EXPECT_FALSE(linked.addAtom("qelavat").ok());
    EXPECT_FALSE(std::filesystem::exists(elsewhere + "/qelavat"));
}

TEST(FileAtomTable, AFolderOfAnotherUserIsRefused)
{
    if (!test::runningAsRoot())
        GTEST_SKIP() << "needs root to give the folder to another user";
    test::TempDir dir;
    std::string folder = dir.mkdir("atoms");
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    FileAtomTable atoms(folder);
    EXPECT_FALSE(atoms.addAtom("qelavat").ok());
}

TEST(FileAtomTable, RuntimeTableLivesInTheRuntimeFolder)
{
    test::TempDir dir;
    test::ScopedEnv runtime(environment::RuntimeDirVariable, dir.path());
    auto atoms = openRuntimeAtomTable();
    ASSERT_TRUE(atoms->addAtom("qelavat").ok());
    EXPECT_EQ(test::readAll(dir.file("atoms/qelavat")), "1\n");
}

} // namespace
} // namespace vz::platform
