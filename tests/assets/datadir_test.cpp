// Where an installed teq finds its data: PREFIX/games/NAME reads
// PREFIX/share/games/NAME; anywhere else keeps the build's rules.
#include <gtest/gtest.h>

#include "assets/datadir.h"

TEST(DataDir, InstalledLayoutUnderAnyPrefix) {
    EXPECT_EQ(qor::InstalledDataDir("/usr/games/teq"), "/usr/share/games/teq");
    EXPECT_EQ(qor::InstalledDataDir("/usr/local/games/teq"), "/usr/local/share/games/teq");
    EXPECT_EQ(qor::InstalledDataDir("/tmp/root/usr/games/teq"), "/tmp/root/usr/share/games/teq");
    EXPECT_EQ(qor::InstalledDataDir("/opt/games/teq.exe"), "/opt/share/games/teq");
}

TEST(DataDir, AnyOtherPlaceIsNotInstalled) {
    for (const char* exe :
         {"/work/teq/build/teq", "/usr/bin/teq", "/usr/games/bin/teq", "/usr/gamesx/teq", "teq", "games/", "/teq", ""})
        EXPECT_EQ(qor::InstalledDataDir(exe), "") << exe;
}
