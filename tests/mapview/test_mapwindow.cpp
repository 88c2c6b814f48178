// The map window on a real logger list: opening and closing (probe, templates, coordinate system, options),
// pushpins with their symbols, names, notes and balloons, the leak-only filter, and editing by mouse.
#include "DocumentFixtures.h"
#include "MapTestDriver.h"
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LatLongText.h"
#include "documents/MaskedEdit.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "mapview/MapCommands.h"
#include "mapview/frmAddNewGPSLogger.h"
#include "mapview/frmGps.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/TextCodec.h"
#include "platform/WindowRegistry.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace mapview;

namespace {

const QString kControl = QStringLiteral("MapControl");
const QString kOptions = QStringLiteral("MapPointOptions");

QString coord(double lat, double lon) {
    return QString::number(lat, 'f', 6) + u'/' + QString::number(lon, 'f', 6);
}

// Three loggers in one street: a quiet one (40/25: difference 15), a leak (40/24) and a quiet one.
std::vector<FixtureLogger> street() {
    return {
        {1000001, "AB 0012 3456", "Main St", coord(52.0000, 4.3000).toStdString(), "", "", "2024/01/02", "N", 40, 25,
         "by the school"},
        {1000002, "AB 0000 0077", "Park", coord(52.0040, 4.3060).toStdString(), "", "", "2024/01/02", "L", 40, 24, ""},
        {1000003, "", "Mill", "52.0080000123/4.2950000456", "", "", "", "", 0, 0, ""},
    };
}

// A town of loggers around one point; every fifth in leak; a few with coordinates that cannot be used.
std::vector<FixtureLogger> town(int count) {
    std::vector<FixtureLogger> out;
    for (int i = 0; i < count; ++i) {
        FixtureLogger l;
        l.serial = 1000001 + i;
        l.gridRef = "AB " + std::to_string(1000 + i) + " 2000";
        l.comment1 = "Street " + std::to_string(i);
        const double lat = 52.0 + 0.0004 * (i % 25) - 0.005;
        const double lon = 4.3 + 0.0006 * (i / 25) - 0.006;
        l.comment2 = coord(lat, lon).toStdString();
        l.date1 = "2024/03/01";
        l.level1 = 40;
        l.spread1 = i % 5 == 0 ? 10 : 25;
        out.push_back(l);
    }
    return out;
}

// The program's windows as the main window wires them: the record editor's changes reach an open map.
struct MapProgramWindows : StatusRecorder {
    void mapRefreshLoggers() override { mapview::frmGPS_refreshLoggers(); }
    void mapUpdateSerial(QString& oldSerial, QString& newSerial) override {
        mapview::frmGPS_UpdateSerial(oldSerial, newSerial);
    }
};

class MapWindowTest : public ::testing::Test, public DocumentTest {
protected:
    MapProgramWindows programWindows_;
    ScopedProgramWindows registered_{&programWindows_};
    void SetUp() override {
        env.copyMapTemplates();
        main = std::make_unique<QWidget>();
        mainPart = new QPushButton(main.get());
        editor = std::make_unique<frmDMAEdit>();
        Address2 = QStringLiteral("1");
        SaveSettingText(QStringLiteral("Address2"), QStringLiteral("1"));
        DecimalSeparator = QStringLiteral(".");
    }
    void TearDown() override {
        if (frmGps* map = frmGps::instance())
            map->close();
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA"))) {
            static_cast<frmDMA*>(w)->AskForSave = false;
            w->close();
        }
        flushDeletes();
        editor.reset();
        DecimalSeparator = QStringLiteral(".");
    }
    frmDMA* openList(const std::vector<FixtureLogger>& loggers) {
        OpenDocument(env.writeFile(QStringLiteral("area.pdb"), areaFile(loggers)));
        return ActiveDocument.data();
    }
    frmGps* openMap() {
        EXPECT_TRUE(ShowMapWindow(main.get()));
        frmGps* map = frmGps::instance();
        if (map && map->loaded())
            driver = std::make_unique<MapTestDriver>(map->m_MapPointControl);
        return map;
    }
    void closeMap() {
        if (frmGps* map = frmGps::instance())
            map->close();
        flushDeletes();
    }
    static void configure(const char* key, const QString& value) {
        plat::settings::save(plat::appTitle(), kControl, QLatin1String(key), value);
    }
    static QString stored(const QString& section, const char* key) {
        return plat::settings::get(plat::appTitle(), section, QLatin1String(key), QStringLiteral("<none>"));
    }
    static PushpinRef pinOf(frmGps* map, const QString& serial) {
        PushpinRef pin;
        QString loc, ls;
        map->registry().GetDetailsBySerialNo(pin, serial, loc, ls);
        return pin;
    }
    static int livePins(frmGps* map) { return static_cast<int>(map->m_MapPointControl->ActiveMap().pushpins().size()); }
    std::unique_ptr<QWidget> main;
    QPushButton* mainPart = nullptr;
    std::unique_ptr<frmDMAEdit> editor;
    std::unique_ptr<MapTestDriver> driver;
};

TEST_F(MapWindowTest, OpensOnATownAndSkipsUnusableCoordinates) {
    auto loggers = town(500);
    loggers[7].comment2 = "51.5.1/4.3";                 // two marks in one half: asked for, and given up on
    loggers[8].comment2 = "95.000000/4.3";              // beyond the pole: no pushpin, no question
    loggers[9].comment2 = "52.0000001234/4.3000005678"; // more digits than the map writes
    frmDMA* doc = openList(loggers);
    ScriptedUi ui;
    ui.expectInput(QString(), false);
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    EXPECT_EQ(ui.inputPrompts().size(), 1);
    EXPECT_TRUE(ui.inputPrompts().value(0).contains(QStringLiteral("12.345678/12.345678")));

    EXPECT_EQ(livePins(map), 498);
    EXPECT_EQ(map->registry().RecordCount(), 498);
    int leak = 0, quiet = 0;
    for (const PushpinRef& p : map->m_MapPointControl->ActiveMap().pushpins())
        if (p->Symbol() == 399)
            ++leak;
        else if (p->Symbol() == 398)
            ++quiet;
    EXPECT_EQ(leak, 100);
    EXPECT_EQ(quiet, 398);
    EXPECT_EQ(map->serialAt(8), QString());
    EXPECT_EQ(map->serialAt(10), QStringLiteral("01000010"));
    // The first view shows every pushpin.
    const MapModel& m = map->m_MapPointControl->ActiveMap();
    const QRectF view(QPointF(0, 0), QSizeF(m.view().size));
    for (const PushpinRef& p : m.pushpins())
        ASSERT_TRUE(view.contains(m.locationToXY(p->location())));
    EXPECT_TRUE(map->waitTexts.contains(LoadLangString(txt::WaitBuilding)));

    // While open: latitude/longitude everywhere, the main window's parts off, the map findable as "GPS".
    EXPECT_EQ(Address2, QStringLiteral("0"));
    EXPECT_EQ(stored(QStringLiteral("Settings"), "Address2"), QStringLiteral("0"));
    EXPECT_FALSE(mainPart->isEnabled());
    EXPECT_TRUE(plat::windows::topLevelTitled(QStringLiteral("GPS")));

    closeMap();
    EXPECT_EQ(frmGps::instance(), nullptr);
    EXPECT_EQ(Address2, QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("Settings"), "Address2"), QStringLiteral("1"));
    EXPECT_TRUE(mainPart->isEnabled());
    // Nothing was moved, so no stored coordinate was rewritten.
    EXPECT_EQ(doc->localRecord(10).Comment2, "52.0000001234/4.3000005678");
    EXPECT_EQ(doc->localRecord(8).Comment2, "51.5.1/4.3");
    EXPECT_FALSE(doc->AskForSave);
    EXPECT_EQ(stored(kOptions, "MapPointPushPinNames"), QStringLiteral("L+S&SerialNo"));
    EXPECT_EQ(stored(kOptions, "OptShowLeakOnly"), QStringLiteral("0"));
}

TEST_F(MapWindowTest, DraggingAPushpinRewritesOnlyThatLoggersCoordinate) {
    DecimalSeparator = QStringLiteral(","); // typed and read with ",", stored with "."
    frmDMA* doc = openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    // Taken by its head and moved by (60, 40): the tip, where the pin is seen to stand, lands at the old
    // tip moved by the same amount, and that is the place stored.
    const MapModel& model = map->m_MapPointControl->ActiveMap();
    const QPoint tip = driver->at(52.0040, 4.3060) + QPoint(60, 40);
    const Location want = model.XYToLocation(tip.x(), tip.y());
    const double latPixel = want.Latitude - model.XYToLocation(tip.x(), tip.y() + 1).Latitude;
    const double lonPixel = model.XYToLocation(tip.x() + 1, tip.y()).Longitude - want.Longitude;
    driver->drag(driver->pinHead(52.0040, 4.3060), driver->pinHead(52.0040, 4.3060) + QPoint(60, 40));
    const PushpinRef pin = pinOf(map, QStringLiteral("01000002"));
    ASSERT_TRUE(pin);
    const Location now = pin->location();
    EXPECT_NEAR(now.Latitude, want.Latitude, 1.5 * latPixel);
    EXPECT_NEAR(now.Longitude, want.Longitude, 1.5 * lonPixel);
    const QString text = plat::fromAnsi(doc->localRecord(2).Comment2);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d{6}/\\d+\\.\\d{6}$")).match(text).hasMatch())
        << text.toStdString();
    EXPECT_EQ(text, FormatCoordinate(now.Latitude, ".") + u'/' + FormatCoordinate(now.Longitude, "."));
    EXPECT_EQ(doc->localRecord(1).Comment2, street()[0].comment2);
    EXPECT_EQ(doc->localRecord(3).Comment2, street()[2].comment2);
    EXPECT_FALSE(doc->AskForSave);
    closeMap();
    EXPECT_EQ(plat::fromAnsi(doc->localRecord(2).Comment2), text);
    EXPECT_EQ(doc->localRecord(3).Comment2, street()[2].comment2);
}

// Whatever coordinate system the options choose, the record editor shows a coordinate the map stored in its
// box's own form, gives an untouched one back as it was, and stores a coordinate typed into the box as the
// pair the map reads. Grid references are no latitude/longitude: they are stored as the box shows them.
TEST_F(MapWindowTest, TheCoordinateBoxStoresWhatTheMapReadsInEveryCoordinateSystem) {
    ScriptedUi ui;
    const QString stored = QStringLiteral("52.63798/-1.12702");
    struct Case {
        const char* code;
        const char* shown;             // the box's text for the stored pair (nullptr: a grid, which keeps it unshown)
        const char* typed;             // keys typed over the whole box
        const char* stores;            // what Update stores then
        double latitude, longitude;    // what the map reads from it (the stored text is a pair)
        const char* reshown = nullptr; // the box's text when the stored text is shown again (nullptr: as typed)
    };
    const Case cases[] = {
        {"0", "52.63798/-1.12702", "-33.8655/151.21", "-33.8655/151.21", -33.8655, 151.21},
        {"1", "N52.63798-W001.12702", "s3386550e15121000", "-33.86550/151.21000", -33.8655, 151.21},
        {"1", "N52.63798-W001.12702", "n5263800w00112700", "52.63800/-1.12700", 52.638, -1.127},
        {"1", "N52.63798-W001.12702", "n526", "52.60000/0.00000", 52.6, 0, "N52.60000-E000.00000"},
        {"2", nullptr, "tq1234567890", "TQ-12345-67890", 0, 0},
        {"7", nullptr, "u30uv1234567890", "U30-UV-12345-67890", 0, 0},
        {"12", nullptr, "30u12345677654321", "30-U-1234567-7654321", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("code ") + c.code + " typed " + c.typed);
        SaveSettingText(QStringLiteral("Address2"), QString::fromLatin1(c.code));
        editor->ConfigureAddress2EditBox();
        editor->setCommentTexts(QStringLiteral("Main St"), stored, QString());
        if (c.shown) {
            EXPECT_EQ(editor->txtComments2->displayText(), QString::fromLatin1(c.shown));
        }
        // Untouched, the stored text goes back as it was, also where the box cannot show it.
        EXPECT_EQ(plat::fromAnsi(editor->recordFromBoxes().Comment2), stored);

        editor->txtComments2->setFocus();
        editor->txtComments2->selectAll();
        QTest::keyClicks(editor->txtComments2, QString::fromLatin1(c.typed));
        const QString written = plat::fromAnsi(editor->recordFromBoxes().Comment2);
        EXPECT_EQ(written, QString::fromLatin1(c.stores));
        if (c.shown) {
            ASSERT_TRUE(IsLatLongText(written)) << written.toStdString();
            double lat = 0, lon = 0;
            ASSERT_TRUE(ParseLatLong(ConvertLatLongText(written, 1, "."), ".", &lat, &lon));
            EXPECT_DOUBLE_EQ(lat, c.latitude);
            EXPECT_DOUBLE_EQ(lon, c.longitude);
        }
        // Shown again, the stored text reads as it was typed.
        const QString inBox = c.reshown ? QString::fromLatin1(c.reshown) : editor->txtComments2->Text();
        editor->setCommentTexts(QString(), written, QString());
        EXPECT_EQ(editor->txtComments2->Text(), inBox);
    }

    // Stored texts the Lat/Long box shows in its form, and ones it cannot show, which come back unchanged.
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("1"));
    editor->ConfigureAddress2EditBox();
    const std::pair<const char*, const char*> shown[] = {
        {"52.637980/-1.127020", "N52.63798-W001.12702"},
        {"51,5/-0,12", "N51.50000-W000.12000"},
        {"-0.000001/0.0", "N00.00000-E000.00000"},
        {"Main road", nullptr},
        {"123.4/5.6", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, form] : shown) {
        editor->setCommentTexts(QString(), QString::fromLatin1(text), QString());
        if (form) {
            EXPECT_EQ(editor->txtComments2->displayText(), QString::fromLatin1(form)) << text;
        }
        EXPECT_EQ(plat::fromAnsi(editor->recordFromBoxes().Comment2), QString::fromLatin1(text));
    }
    // The options switched while a coordinate is shown: the box shows it in the new system's form.
    editor->setCommentTexts(QString(), stored, QString());
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("0"));
    editor->ConfigureAddress2EditBox();
    EXPECT_EQ(editor->txtComments2->Text(), stored);
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("1"));
    editor->ConfigureAddress2EditBox();
    EXPECT_EQ(editor->txtComments2->displayText(), QStringLiteral("N52.63798-W001.12702"));
    EXPECT_EQ(plat::fromAnsi(editor->recordFromBoxes().Comment2), stored);
}

TEST_F(MapWindowTest, DeletingAPushpinDeletesItsLoggerAndOnlyThatOne) {
    frmDMA* doc = openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    driver->click(driver->pinHead(52.0040, 4.3060), Qt::RightButton);
    EXPECT_EQ(map->SelectedSerial, QStringLiteral("01000002"));
    ASSERT_EQ(map->lastPopup(), map->mnuGpsRightClick);
    map->lastPopup()->close();
    map->MnuGpsDelete->trigger();
    EXPECT_EQ(doc->RecordCount, 2);
    EXPECT_EQ(doc->GetRecFromSerial(1000002), 0);
    EXPECT_TRUE(doc->AskForSave);
    EXPECT_EQ(livePins(map), 2);
    EXPECT_EQ(map->SelectedSerial, QString());

    // A right click on empty map offers only the zoom menu, even after a pushpin was selected before.
    driver->click(driver->pinHead(52.0, 4.3));
    EXPECT_EQ(map->SelectedSerial, QStringLiteral("01000001"));
    driver->click(driver->at(52.0020, 4.3150), Qt::RightButton);
    EXPECT_EQ(map->SelectedSerial, QString());
    EXPECT_EQ(map->lastPopup(), map->mnuZoom);
    map->lastPopup()->close();
    map->MnuGpsDelete->trigger(); // nothing selected: nothing deleted
    EXPECT_EQ(doc->RecordCount, 2);

    // The Delete key on a selected pushpin does the same as the menu.
    driver->click(driver->pinHead(52.0, 4.3));
    driver->key(Qt::Key_Delete);
    EXPECT_EQ(doc->RecordCount, 1);
    EXPECT_EQ(doc->GetRecFromSerial(1000001), 0);
    EXPECT_EQ(doc->localRecord(1).Serial, 1000003);
    EXPECT_EQ(livePins(map), 1);
}

TEST_F(MapWindowTest, ShiftClickAndAddModePlaceANewLoggerWhereClicked) {
    ScriptedUi ui;
    frmDMA* doc = openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    const QPoint spot = driver->at(52.0020, 4.3150);
    driver->click(spot, Qt::LeftButton, Qt::ShiftModifier);
    frmAddNewGPSLogger* dialog = frmAddNewGPSLogger::existing();
    ASSERT_TRUE(dialog && dialog->isVisible());
    EXPECT_TRUE(map->rdoSelect->isChecked());
    dialog->mskSerial->setBoxText(QStringLiteral("02000001"));
    dialog->cmdOK_Click();
    flushDeletes();
    const int16_t index = doc->GetRecFromSerial(2000001);
    ASSERT_GT(index, 0);
    const Location expected = map->m_MapPointControl->ActiveMap().XYToLocation(spot.x(), spot.y());
    EXPECT_EQ(plat::fromAnsi(doc->localRecord(index).Comment2),
              FormatCoordinate(expected.Latitude, ".") + u'/' + FormatCoordinate(expected.Longitude, "."));
    const PushpinRef pin = pinOf(map, QStringLiteral("02000001"));
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->Symbol(), 398);
    EXPECT_EQ(map->SerialCount, 4);
    EXPECT_EQ(map->serialAt(4), QStringLiteral("02000001"));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(map->rdoSelect->isChecked());

    // "Add Logger" mode: a plain click asks, and the mode goes back to "Select".
    map->rdoAddLogger->setChecked(true);
    driver->click(driver->at(52.0060, 4.3200));
    dialog = frmAddNewGPSLogger::existing();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(map->rdoSelect->isChecked());
    ui.expectMessage(plat::IDOK, QStringLiteral("01000001") + LoadLangString(txt::AlreadyInList));
    dialog->mskSerial->setBoxText(QStringLiteral("01000001"));
    dialog->cmdOK_Click();
    flushDeletes();
    driver->click(driver->at(52.0060, 4.3200), Qt::LeftButton, Qt::ShiftModifier);
    ui.expectMessage(plat::IDOK, QStringLiteral("13000000") + LoadLangString(txt::InvalidSerial));
    frmAddNewGPSLogger::existing()->mskSerial->setBoxText(QStringLiteral("13000000"));
    frmAddNewGPSLogger::existing()->cmdOK_Click();
    flushDeletes();
    EXPECT_EQ(doc->RecordCount, 4);
    EXPECT_EQ(livePins(map), 4);
    // Cancel places nothing.
    driver->click(driver->at(52.0060, 4.3200), Qt::LeftButton, Qt::ShiftModifier);
    frmAddNewGPSLogger::existing()->cmdCancel_Click();
    flushDeletes();
    EXPECT_EQ(doc->RecordCount, 4);
}

TEST_F(MapWindowTest, LeakOnlyHidesQuietLoggersAndBringsThemBackInPlace) {
    openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    map->chkLeakOnly->click();
    EXPECT_EQ(livePins(map), 1);
    EXPECT_EQ(map->registry().RecordCount(), 1);
    EXPECT_EQ(map->serialAt(1), QString());
    EXPECT_EQ(map->serialAt(2), QStringLiteral("01000002"));
    EXPECT_FALSE(map->rdoAddLogger->isEnabled());
    EXPECT_TRUE(map->SyncSuppressed);
    map->clearTimer_Timer();
    map->clearTimer_Timer();
    EXPECT_FALSE(map->SyncSuppressed);

    map->chkLeakOnly->click();
    EXPECT_EQ(livePins(map), 3);
    EXPECT_EQ(map->serialAt(1), QStringLiteral("01000001"));
    EXPECT_EQ(map->serialAt(3), QStringLiteral("01000003"));
    EXPECT_TRUE(map->rdoAddLogger->isEnabled());
    EXPECT_TRUE(map->waitTexts.contains(LoadLangString(txt::WaitRestoring)));
}

TEST_F(MapWindowTest, NamesNotesAndBalloonsFollowTheOptionsAndAreStored) {
    openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    EXPECT_TRUE(map->optDisplayLSSerialNo->isChecked());
    EXPECT_EQ(pinOf(map, "01000001")->Name(), QStringLiteral("01000001 L40,S25"));
    EXPECT_EQ(pinOf(map, "01000001")->Symbol(), 398); // 40 - 25 = 15: not a leak
    EXPECT_EQ(pinOf(map, "01000002")->Symbol(), 399); // 40 - 24 = 16: a leak
    map->optDisplayLSLocNum->click();
    EXPECT_EQ(pinOf(map, "01000001")->Name(), QStringLiteral("123456 L40,S25"));
    EXPECT_EQ(pinOf(map, "01000003")->Name(), QStringLiteral("0 L0,S0"));
    map->optDisplayLS->click();
    EXPECT_EQ(pinOf(map, "01000002")->Name(), QStringLiteral("L40,S24"));

    map->chkDisplaySerialNo->click();
    EXPECT_EQ(pinOf(map, "01000001")->Note(), QStringLiteral("01000001"));
    map->chkAdditionalInfo->click();
    EXPECT_EQ(pinOf(map, "01000001")->Note(), QStringLiteral("01000001\r\nby the school"));
    map->chkShowDetails->click();
    EXPECT_EQ(pinOf(map, "01000001")->BalloonState(), 2);
    map->chkLeakDetails->click();
    EXPECT_FALSE(map->chkShowDetails->isChecked());
    EXPECT_EQ(pinOf(map, "01000001")->BalloonState(), 0);
    EXPECT_EQ(pinOf(map, "01000002")->BalloonState(), 2);
    map->chkAdditionalInfo->click();
    map->chkDisplaySerialNo->click(); // no detail box: full balloons shrink to names, notes empty
    EXPECT_EQ(pinOf(map, "01000002")->BalloonState(), 1);
    EXPECT_EQ(pinOf(map, "01000002")->Note(), QString());
    map->chkDisplaySerialNo->click();
    closeMap();
    EXPECT_EQ(stored(kOptions, "MapPointPushPinNames"), QStringLiteral("L+S"));
    EXPECT_EQ(stored(kOptions, "OptShowLeakDetails"), QStringLiteral("1"));
    EXPECT_EQ(stored(kOptions, "OptShowAllDetails"), QStringLiteral("0"));
    EXPECT_EQ(stored(kOptions, "OptSerialNo"), QStringLiteral("1"));

    map = openMap();
    ASSERT_TRUE(map && map->loaded());
    EXPECT_TRUE(map->optDisplayLS->isChecked());
    EXPECT_TRUE(map->chkLeakDetails->isChecked());
    EXPECT_EQ(pinOf(map, "01000002")->BalloonState(), 2);
    EXPECT_EQ(pinOf(map, "01000002")->Note(), QStringLiteral("01000002"));
    EXPECT_EQ(pinOf(map, "01000001")->BalloonState(), 0);
    closeMap();

    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("MapPointPushPinNames"), QStringLiteral("odd"));
    map = openMap();
    ASSERT_TRUE(map && map->loaded());
    EXPECT_FALSE(map->optDisplayLS->isChecked() || map->optDisplayLSLocNum->isChecked() ||
                 map->optDisplayLSSerialNo->isChecked());
    EXPECT_EQ(pinOf(map, "01000001")->Name(), QStringLiteral("123456 L40,S25"));
}

TEST_F(MapWindowTest, RecordEditorEditsReachThePushpins) {
    ScriptedUi ui;
    frmDMA* doc = openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    const Location before = pinOf(map, "01000001")->location();
    driver->click(driver->pinHead(52.0, 4.3), Qt::RightButton);
    map->lastPopup()->close();
    map->mnuGpsEdit->trigger();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->txtSerNum->Text(), QStringLiteral("01000001"));
    EXPECT_EQ(doc->SelLine, doc->GetLineFromSerial(1000001));

    // Update Serial: the pushpin follows the new serial.
    editor->txtSerNum->setBoxText(QStringLiteral("05000005"));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::ChangeSerialQuestion));
    ui.expectMessage(plat::IDOK,
                     QStringLiteral("01000001") + LoadLangString(txt::SerialChanged) + QStringLiteral("05000005"));
    editor->cmdUpdateSerial_Click();
    const PushpinRef renamed = pinOf(map, "05000005");
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->Name(), QStringLiteral("05000005 L40,S25"));
    EXPECT_EQ(map->SelectedSerial, QStringLiteral("05000005"));
    EXPECT_EQ(map->serialAt(1), QStringLiteral("05000005"));

    // An edit of the record: symbol, label and note follow; the pushpin stays where it is.
    const int16_t index = doc->GetRecFromSerial(5000005);
    doc->GetLocalRecByIndex(kMaxLoggers, index);
    LoggerTable[kMaxLoggers].Level[1] = 60;
    LoggerTable[kMaxLoggers].GridRef = "CD 0099 0001";
    doc->PutLocalRecByIndex(kMaxLoggers, index);
    frmGPS_refreshLoggers();
    EXPECT_EQ(renamed->Symbol(), 399);
    EXPECT_EQ(renamed->Name(), QStringLiteral("05000005 L60,S25"));
    EXPECT_DOUBLE_EQ(renamed->location().Latitude, before.Latitude);
    map->optDisplayLSLocNum->click();
    EXPECT_EQ(renamed->Name(), QStringLiteral("990001 L60,S25"));
}

struct ProbeCase {
    const char* installed;
    const char* automation;
    const char* version;
    const char* region;
    int versionCode; // -1: the opening fails
    int regionCode;
    int quiet, leak;
    int messageText; // text the failure shows (followed by what the probe found)
    const char* found;
};

TEST_F(MapWindowTest, EveryProbeBranchGivesItsSymbolsOrItsMessage) {
    const ProbeCase cases[] = {
        {"1", "1", "13.0", "2", 1, 0, 292, 287, 0, ""},
        {"1", "1", "16,0", "1", 0, 1, 111, 112, 0, ""},
        {"1", "1", "16.0", "2", 0, 0, 99, 100, 0, ""},
        {"1", "1", "17,0", "1", 2, 1, 399, 400, 0, ""},
        {"1", "1", "18.0", "2", 3, 0, 398, 399, 0, ""},
        {"1", "1", "19.0", "2", -1, 0, 0, 0, txt::MapVersionUnknown, "19.0"},
        {"1", "1", "18.0", "3", -1, 0, 0, 0, txt::MapRegionUnknown, "3"},
        {"0", "1", "18.0", "2", -1, 0, 0, 0, txt::MapStartFailed, ""},
        {"1", "0", "18.0", "2", -1, 0, 0, 0, txt::MapStartFailed, ""},
    };
    frmDMA* doc = openList(street());
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " region " + c.region + " installed " + c.installed);
        configure("Installed", QLatin1String(c.installed));
        configure("Automation", QLatin1String(c.automation));
        configure("Version", QLatin1String(c.version));
        configure("Region", QLatin1String(c.region));
        ScriptedUi ui;
        if (c.versionCode < 0)
            ui.expectMessage(plat::IDOK, LoadLangString(c.messageText) + QLatin1String(c.found));
        ShowMapWindow(main.get());
        flushDeletes();
        frmGps* map = frmGps::instance();
        if (c.versionCode < 0) {
            EXPECT_EQ(map, nullptr);
            EXPECT_EQ(Address2, QStringLiteral("1"));
            EXPECT_EQ(stored(QStringLiteral("Settings"), "Address2"), QStringLiteral("1"));
            EXPECT_TRUE(mainPart->isEnabled());
            EXPECT_EQ(stored(kOptions, "OptShowLeakOnly"), QStringLiteral("<none>"));
            continue;
        }
        ASSERT_TRUE(map && map->loaded());
        EXPECT_EQ(map->MapVersion, c.versionCode);
        EXPECT_EQ(map->MapRegion, c.regionCode);
        EXPECT_EQ(pinOf(map, "01000001")->Symbol(), c.quiet);
        EXPECT_EQ(pinOf(map, "01000002")->Symbol(), c.leak);
        closeMap();
        plat::settings::remove(plat::appTitle(), kOptions);
    }
    // A missing template: the general message, and nothing changed.
    configure("Version", QStringLiteral("18.0"));
    configure("Region", QStringLiteral("2"));
    QFile::remove(env.path(QStringLiteral("VordalinMapEur2011.ptt")));
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::MapStartFailed));
    ShowMapWindow(main.get());
    flushDeletes();
    EXPECT_EQ(frmGps::instance(), nullptr);
    EXPECT_EQ(doc->RecordCount, 3);
}

TEST_F(MapWindowTest, PrintHandsTheProgramAJobInTheChosenOrientationWithThePage) {
    frmDMA* doc = openList(street());
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    map->resize(800, 600);
    // Without a job runner (the program not started) printing does nothing.
    map->mnuPrint_Click();

    struct Job {
        QString title;
        int copies = 0;
        int orientation = -1;
        QImage page;
    };
    std::vector<Job> jobs;
    // The page lies inside a larger sheet, off its origin, as a printable area does within the paper.
    const QRectF area(40, 60, 700, 500);
    SetMapPrinter([&](const QString& title, int copies, int orientation, const MapPageDrawer& draw) {
        QImage sheet(780, 620, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        draw(painter, area);
        EXPECT_EQ(painter.transform(), QTransform()) << "the painter is handed back as it came";
        jobs.push_back({title, copies, orientation, sheet});
        return true;
    });
    map->mnuPortrait->trigger();
    map->mnuPrint_Click();
    map->mnuLandscape->trigger();
    map->mnuPrint_Click();
    SetMapPrinter(nullptr);

    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].orientation, 0);
    EXPECT_EQ(jobs[1].orientation, 1);
    for (const Job& job : jobs) {
        EXPECT_EQ(job.title, doc->DMAName);
        EXPECT_FALSE(job.title.isEmpty());
        EXPECT_EQ(job.copies, 1);
        // Ink only within the page; the title on its first line; the map's frame below it.
        int inkOutside = 0, inkTitle = 0, inkMap = 0;
        for (int y = 0; y < job.page.height(); ++y)
            for (int x = 0; x < job.page.width(); ++x) {
                if (job.page.pixel(x, y) == qRgb(255, 255, 255))
                    continue;
                if (!area.adjusted(-1, -1, 1, 1).contains(QPointF(x, y)))
                    ++inkOutside;
                else if (y < area.top() + 18)
                    ++inkTitle;
                else
                    ++inkMap;
            }
        EXPECT_EQ(inkOutside, 0);
        EXPECT_GT(inkTitle, 20);
        EXPECT_GT(inkMap, 1000) << "the map and its frame";
        // The frame's left edge runs down the page's left side, below the title.
        EXPECT_EQ(job.page.pixel(int(area.left()), int(area.top()) + 200), qRgb(0, 0, 0));
    }
}

// Pictures of the map for the documentation: written when VORD_MAP_SCREENSHOTS names a folder.
TEST_F(MapWindowTest, RendersPushpinsAndBalloonsOverCoastlinesAndTiles) {
    auto loggers = town(60);
    for (int i = 0; i < 60; ++i)
        loggers[size_t(i)].comment2 =
            coord(52.02 + 0.012 * std::sin(i * 0.7) * (1 + i % 3), 4.33 + 0.02 * std::cos(i * 0.7) * (1 + i % 4))
                .toStdString();
    openList(loggers);
    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("OptShowLeakDetails"), QStringLiteral("1"));
    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("OptShowAllDetails"), QStringLiteral("0"));
    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("OptShowLeakOnly"), QStringLiteral("0"));
    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("OptSerialLocNum"), QStringLiteral("1"));
    plat::settings::save(plat::appTitle(), kOptions, QStringLiteral("OptSerialAddress1"), QStringLiteral("1"));
    frmGps* map = openMap();
    ASSERT_TRUE(map && map->loaded());
    map->resize(1100, 760);
    map->show();
    // Far enough out for the coastline to show around the town.
    map->m_MapPointControl->ActiveMap().setZoom(8.5);
    QCoreApplication::processEvents();
    const QImage coast = map->grab().toImage();
    EXPECT_FALSE(coast.isNull());
    closeMap();

    // A generated tile folder: a street-like pattern on every tile of the levels the view may use.
    const QString tiles = env.path(QStringLiteral("tiles"));
    for (int z = 12; z <= 16; ++z) {
        const int n = 1 << z;
        const QPointF centre = mercator::toWorld(52.02, 4.33);
        const int cx = int(centre.x() * n), cy = int(centre.y() * n);
        for (int x = cx - 3; x <= cx + 3; ++x)
            for (int y = cy - 3; y <= cy + 3; ++y) {
                QImage t(256, 256, QImage::Format_RGB32);
                t.fill(QColor(242, 239, 233));
                QPainter p(&t);
                p.setPen(QPen(QColor(255, 255, 255), 6));
                for (int k = 0; k < 256; k += 64) {
                    p.drawLine(k + 20, 0, k + 20, 256);
                    p.drawLine(0, k + 40, 256, k + 40);
                }
                p.setPen(QPen(QColor(170, 211, 223), 10));
                p.drawLine(0, (x * 37 + y * 11) % 256, 256, (x * 13 + y * 29) % 256);
                p.end();
                QDir().mkpath(QStringLiteral("%1/%2/%3").arg(tiles).arg(z).arg(x));
                t.save(QStringLiteral("%1/%2/%3/%4.png").arg(tiles).arg(z).arg(x).arg(y));
            }
    }
    configure("TileSource", tiles);
    map = openMap();
    ASSERT_TRUE(map && map->loaded());
    map->resize(1100, 760);
    map->show();
    QCoreApplication::processEvents();
    const QImage tiled = map->grab().toImage();
    EXPECT_FALSE(tiled.isNull());
    const QByteArray out = qgetenv("VORD_MAP_SCREENSHOTS");
    if (!out.isEmpty()) {
        coast.save(QString::fromLocal8Bit(out) + QStringLiteral("/map-coastlines.png"));
        tiled.save(QString::fromLocal8Bit(out) + QStringLiteral("/map-tiles.png"));
    }
}

} // namespace
