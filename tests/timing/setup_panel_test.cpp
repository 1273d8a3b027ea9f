// The race set-up panel: opening the workbook, sport and heat, phases and lap slider, and the
// race set-up they give.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/race_book.h"
#include "timing/setup_panel.h"

namespace tivaro::testing {
namespace {

using timing::Phase;
using timing::RaceControls;

class Setup : public ::testing::Test {
protected:
    Setup()
        : startApp([this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
              ++started;
              if (failStart) {
                  return MakeError(Errc::Failed, "geen rekenblad");
              }
              auto app = std::make_unique<FakeApp>([this](const std::filesystem::path& file) {
                  opened.push_back(file.string());
                  auto book = openFails ? nullptr : MakeRaceBook();
                  if (book && !prepareWithout.empty()) {
                      book->failIf = [this](const WorkbookCall& c) {
                          return c.op == "activate" && c.text == prepareWithout;
                      };
                  }
                  if (book && activeSheetFails) {
                      book->failIf = [](const WorkbookCall& c) { return c.op == "activeSheet"; };
                  }
                  return book;
              });
              app->failShow = failShow;
              return std::unique_ptr<workbook::SpreadsheetApp>(std::move(app));
          }),
          panel(race) {
        panel.setChangeListener([this] { ++changes; });
    }

    // The open button with `file` chosen: the workbook opened and taken by the panel.
    Status Open(const std::string& file) {
        Result<timing::OpenedWorkbook> workbook = timing::OpenWorkbook(startApp, file);
        if (!workbook) {
            return workbook.error();
        }
        return panel.takeWorkbook(std::move(*workbook));
    }

    FakeWorkbook& Book() { return static_cast<FakeWorkbook&>(*race.workbook()); }
    const RaceControls& C() const { return panel.controls(); }
    const timing::RaceSetup& S() const { return race.setup(); }

    timing::AppStarter startApp;
    timing::Race race;
    timing::SetupPanel panel;
    int started = 0;
    int changes = 0;
    bool failStart = false;
    bool failShow = false;
    bool openFails = false;
    bool activeSheetFails = false;
    std::string prepareWithout;  // the next workbook lacks this sheet
    std::vector<std::string> opened;
};

TEST_F(Setup, OpeningTakesTheActiveSheetAndOffersTheSportBox) {
    EXPECT_FALSE(C().sportBox.visible);
    ASSERT_TRUE(Open("/races/dovo-1.xlsx"));
    EXPECT_EQ(opened, (std::vector<std::string>{"/races/dovo-1.xlsx"}));
    EXPECT_EQ(race.raceSheet(), Book().sheetId("schaats"));
    EXPECT_TRUE(C().sportBox.visible);
    EXPECT_TRUE(C().sportPrompt.visible);
    EXPECT_TRUE(C().heatBox.enabled);
    EXPECT_FALSE(C().heatBox.visible);
    EXPECT_GT(changes, 0);
}

TEST_F(Setup, EachFailedOpeningStepChangesNothing) {
    ASSERT_TRUE(Open("first.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    workbook::Workbook* const book = race.workbook();
    const auto sheet = race.raceSheet();
    const RaceControls before = C();
    bool* switches[] = {&failStart, &failShow, &openFails, &activeSheetFails};
    for (bool* fail : switches) {
        *fail = true;
        const Status status = Open("second.xlsx");
        ASSERT_FALSE(status);
        EXPECT_NE(status.error().message.find("niet geopend"), std::string::npos)
            << status.error().message;
        EXPECT_EQ(race.workbook(), book);
        EXPECT_EQ(race.raceSheet(), sheet);
        EXPECT_EQ(C(), before);
        *fail = false;
    }
}

TEST_F(Setup, TheNextHeatsWorkbookRacesOnTheSheetOfTheSportInForce) {
    ASSERT_TRUE(Open("first.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Fietsen"));
    panel.moveLapSlider(6);
    panel.choosePhase(Phase::Recording);
    workbook::Workbook* const first = race.workbook();
    ASSERT_TRUE(Open("second.xlsx"));  // it opens on "schaats"
    EXPECT_NE(race.workbook(), first);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(race.raceSheet(), Book().sheetId("fiets"));
    EXPECT_EQ(C().sportBox.text, "Fietsen");
    EXPECT_TRUE(C().lapSlider.visible);
    EXPECT_EQ(S().lapCount, 6);
    EXPECT_EQ(S().phase, Phase::Recording);

    // A workbook without that sheet: the sport is cleared and the box asks for a choice;
    // the phase stays for when one is made.
    prepareWithout = "fiets";
    const Status taken = Open("third.xlsx");
    ASSERT_FALSE(taken);
    EXPECT_NE(taken.error().message.find("\"fiets\""), std::string::npos);
    EXPECT_EQ(S().sport, timing::Sport::None);
    EXPECT_FALSE(race.raceSheet());
    EXPECT_EQ(C().sportBox.text, "");
    EXPECT_TRUE(C().sportBox.visible);
    EXPECT_EQ(S().phase, Phase::Recording);
}

struct SportColumn {
    std::string sport;
    std::string sheet;
    bool heatBox;
    std::string lapPrompt;
    int sliderMax;
    bool slider;
    std::string warmupCaption;
    bool startPulse;
};

void PrintTo(const SportColumn& column, std::ostream* out) {
    *out << column.sport;
}

class SportChoice : public Setup, public ::testing::WithParamInterface<SportColumn> {};

TEST_P(SportChoice, PreparesTheFrameForTheSport) {
    const SportColumn& want = GetParam();
    ASSERT_TRUE(Open("race.xlsx"));
    panel.moveLapSlider(3);
    ASSERT_TRUE(panel.chooseSport(want.sport));
    EXPECT_EQ(C().heatBox.visible, want.heatBox);
    EXPECT_TRUE(C().lapPrompt.visible);
    EXPECT_EQ(C().lapPrompt.text, want.lapPrompt);
    EXPECT_EQ(C().lapSlider.maximum, want.sliderMax);
    EXPECT_EQ(C().lapSlider.visible, want.slider);
    EXPECT_EQ(C().warmupOption.caption, want.warmupCaption);
    EXPECT_TRUE(C().warmupOption.enabled);
    EXPECT_TRUE(C().recordOption.enabled);
    EXPECT_EQ(C().startPulseOption.enabled, want.startPulse);
    EXPECT_EQ(race.raceSheet(), Book().sheetId(want.sheet));
    // Activating another sheet afterwards does not move the race sheet.
    ASSERT_TRUE(Book().activate(want.sheet == "loop" ? "fiets" : "loop"));
    EXPECT_EQ(race.raceSheet(), Book().sheetId(want.sheet));
    EXPECT_EQ(S().phase, Phase::None);
    EXPECT_TRUE(S().startPulseArmed);
}

INSTANTIATE_TEST_SUITE_P(
    Sports, SportChoice,
    ::testing::Values(SportColumn{"Schaatsen", "schaats", true, "Kies hier voor schaatsen de heat",
                                  5, false, "Inschaatsen", false},
                      SportColumn{"Lopen", "loop", false, "Aantal rondes 1-5 : 3", 5, true,
                                  "Inlopen", true},
                      SportColumn{"Fietsen", "fiets", false, "Aantal rondes 1-8 : 3", 8, true,
                                  "Infietsen", false}),
    [](const ::testing::TestParamInfo<SportColumn>& param) { return param.param.sport; });

TEST_F(Setup, EmptySportDisablesThePhasesAndKeepsTheSheet) {
    ASSERT_TRUE(Open("race.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    ASSERT_TRUE(panel.chooseSport(""));
    EXPECT_EQ(S().sport, timing::Sport::None);
    EXPECT_EQ(C().warmupOption.caption, "Opwarmen");
    EXPECT_FALSE(C().warmupOption.enabled);
    EXPECT_FALSE(C().recordOption.enabled);
    EXPECT_FALSE(C().lapPrompt.visible);
    EXPECT_EQ(race.raceSheet(), Book().sheetId("loop"));
}

TEST_F(Setup, ASportWhoseSheetCannotBeTakenIsRefusedAndChangesNothing) {
    const Status noBook = panel.chooseSport("Lopen");
    ASSERT_FALSE(noBook);
    EXPECT_FALSE(C().lapSlider.visible);
    EXPECT_EQ(S().sport, timing::Sport::None);

    ASSERT_TRUE(Open("race.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Schaatsen"));
    Book().failIf = [](const WorkbookCall& c) { return c.op == "activate"; };
    const RaceControls before = C();
    const Status missing = panel.chooseSport("Fietsen");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("\"fiets\""), std::string::npos)
        << missing.error().message;
    EXPECT_EQ(C(), before);  // the box shows skating again
    EXPECT_EQ(S().sport, timing::Sport::Skating);
    EXPECT_EQ(race.raceSheet(), Book().sheetId("schaats"));
}

TEST_F(Setup, SwitchingSportsKeepsHeatAndReadsTheSliderBeforeItsNewMaximum) {
    ASSERT_TRUE(Open("race.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Schaatsen"));
    panel.chooseHeat("Heat 3");
    ASSERT_TRUE(panel.chooseSport("Fietsen"));
    panel.moveLapSlider(7);
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    EXPECT_EQ(C().lapPrompt.text, "Aantal rondes 1-5 : 7");
    EXPECT_EQ(S().lapCount, 5);
    panel.choosePhase(Phase::Recording);
    ASSERT_TRUE(panel.chooseSport("Fietsen"));
    EXPECT_FALSE(C().startPulseOption.enabled);
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    EXPECT_TRUE(C().startPulseOption.enabled);
    ASSERT_TRUE(panel.chooseSport("Schaatsen"));
    EXPECT_EQ(C().heatBox.text, "Heat 3");
    EXPECT_EQ(S().heat, "3");
    EXPECT_EQ(S().phase, Phase::Recording);
}

TEST_F(Setup, HeatChoiceTakesTheDigitOfHeatOneToFive) {
    const struct {
        const char* text;
        const char* heat;
    } cases[] = {{"Heat 1", "1"}, {"Heat 5", "5"}, {"Heat 6", "5"},  {"heat 2", "5"},
                 {"Heat 2", "2"}, {"", "2"},       {"Heat 2 ", "2"}, {"Heat 4", "4"}};
    for (const auto& c : cases) {
        panel.chooseHeat(c.text);
        EXPECT_EQ(S().heat, c.heat) << c.text;
    }
}

TEST_F(Setup, PhaseChoicesArmAndDisarmThePulse) {
    ASSERT_TRUE(Open("race.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    panel.choosePhase(Phase::StartPulse);
    EXPECT_TRUE(S().startPulseArmed);
    panel.choosePhase(Phase::Recording);
    EXPECT_FALSE(S().startPulseArmed);
    EXPECT_FALSE(C().startPulseOption.enabled);
    panel.choosePhase(Phase::Warmup);
    EXPECT_FALSE(S().startPulseArmed);
    EXPECT_FALSE(C().startPulseOption.enabled) << "usable again only once running is chosen";
    panel.choosePhase(Phase::StartPulse);
    ASSERT_TRUE(panel.chooseSport("Fietsen"));
    EXPECT_EQ(S().phase, Phase::StartPulse) << "a sport choice keeps the phase";
    EXPECT_TRUE(S().startPulseArmed);
}

TEST_F(Setup, SliderStaysInRangeAndRewritesThePrompt) {
    ASSERT_TRUE(Open("race.xlsx"));
    ASSERT_TRUE(panel.chooseSport("Lopen"));
    panel.moveLapSlider(4);
    EXPECT_EQ(C().lapPrompt.text, "Aantal rondes 4");
    EXPECT_EQ(S().lapCount, 4);
    panel.moveLapSlider(9);
    EXPECT_EQ(S().lapCount, 5);
    panel.moveLapSlider(0);
    EXPECT_EQ(S().lapCount, 1);
}

}  // namespace
}  // namespace tivaro::testing
