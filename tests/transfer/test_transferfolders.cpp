// The field-unit exchange folders below the program folder.
#include "TestEnv.h"
#include "transfer/TransferFolders.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

class TransferFoldersTest : public ::testing::Test {
protected:
    TestEnv env;
};

} // namespace

TEST_F(TransferFoldersTest, TransferFoldersAreMadeAndCleared) {
    env.writeFile("rovemark/from/old.PDB", "x");
    env.writeFile("rovemark/from/xfer.err", "x");
    env.writeFile("rovemark/to/keep.csv", "x");
    env.writeFile("rovemark/to/send.pdb", "x");
    InitTransferFolders();
    EXPECT_EQ(TransferFromFolder, env.path("rovemark/from"));
    EXPECT_EQ(TransferToFolder, env.path("rovemark/to"));
    EXPECT_EQ(QDir(env.path("rovemark/from")).entryList(QDir::Files), QStringList());
    EXPECT_EQ(QDir(env.path("rovemark/to")).entryList(QDir::Files), QStringList{"keep.csv"});
}

TEST_F(TransferFoldersTest, TransferFoldersReuseAnExistingSpelling) {
    QDir(env.programDir()).mkpath("Rovemark/From");
    InitTransferFolders();
    EXPECT_EQ(TransferFromFolder, env.path("Rovemark/From"));
    EXPECT_TRUE(QDir(env.path("Rovemark/to")).exists());
}
