// The map window among several lists: the list it was opened on stays the one the commands act on when it
// closes.
#include "MainWindowFixture.h"
#include "TestEnv.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "mapview/MapCommands.h"
#include "mapview/frmGps.h"
#include "vordalin/frmMain.h"

#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <gtest/gtest.h>

namespace {

class MapActiveListTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        env.copyMapTemplates();
    }
    void TearDown() override {
        if (mapview::frmGps* map = mapview::frmGps::instance())
            map->close();
        flushDeletes();
        MainWindowFixture::TearDown();
    }
    frmDMA* openList(const QString& name, int32_t serial) {
        OpenDocument(env.writeFile(
            name, areaFile({{serial, "AB 1234 5678", "Quay", "52.000000/4.300000", "", "", "", "N", 40, 25, ""},
                            {serial + 1, "AB 1234 5679", "Dock", "52.004000/4.306000", "", "", "", "L", 40, 24, ""}})));
        QApplication::processEvents();
        return ActiveDocument.data();
    }
};

} // namespace

TEST_F(MapActiveListTest, TheListActiveBeforeTheMapStaysActiveAfterIt) {
    frmDMA* first = openList(QStringLiteral("map_de.pdb"), 1200001);
    frmDMA* second = openList(QStringLiteral("out_c.pdb"), 1300001);
    ASSERT_TRUE(first && second && first != second);
    ASSERT_EQ(main->mdiArea()->currentSubWindow(), second);

    main->ShowMapOfList();
    mapview::frmGps* map = mapview::frmGps::instance();
    ASSERT_TRUE(map && map->loaded());
    QApplication::processEvents();
    map->close();
    flushDeletes();
    QApplication::processEvents();
    main->activateWindow();
    QApplication::processEvents();

    EXPECT_EQ(ActiveDocument.data(), second);
    EXPECT_EQ(main->mdiArea()->currentSubWindow(), second);
    EXPECT_EQ(main->mdiArea()->activeSubWindow(), second);
}
