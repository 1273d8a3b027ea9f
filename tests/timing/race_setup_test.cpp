// The race set-up controls: opening the workbook, sport and heat, phases and lap slider.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/state/start_up.h"
#include "race_book.h"
#include "timing/race_setup.h"

namespace tivaro::testing {
namespace {

using timing::PhaseOption;
using timing::RaceControls;

class Setup : public ::testing::Test {
protected:
    Setup()
        : setup(state, [this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
              ++started;
              if (failStart) {
                  return MakeError(Errc::Failed, "no spreadsheet application");
              }
              auto app = std::make_unique<FakeApp>([this](const std::filesystem::path& file) {
                  opened.push_back(file.string());
                  auto book = openFails ? nullptr : MakeRaceBook();
                  if (book && activeSheetFails) {
                      book->failIf = [](const WorkbookCall& c) { return c.op == "activeSheet"; };
                  }
                  return book;
              });
              app->failShow = failShow;
              return std::unique_ptr<workbook::SpreadsheetApp>(std::move(app));
          }) {
        ApplyStartUpValues(state, "/nonexistent");
        setup.setChangeListener([this] { ++changes; });
    }

    FakeWorkbook& Book() { return static_cast<FakeWorkbook&>(*state.raceWorkbook); }
    const RaceControls& C() const { return setup.controls(); }

    Status Sport(const std::string& text) {
        setup.setSportText(text);
        return setup.Combo1_Click();
    }

    RaceState state;
    timing::RaceSetup setup;
    int started = 0;
    int changes = 0;
    bool failStart = false;
    bool failShow = false;
    bool openFails = false;
    bool activeSheetFails = false;
    std::vector<std::string> opened;
};

TEST_F(Setup, StartsWithOnlyTheOpenButtonUsable) {
    EXPECT_TRUE(C().openButtonEnabled);
    EXPECT_FALSE(C().sportBox.visible);
    EXPECT_FALSE(C().heatBox.visible);
    EXPECT_FALSE(C().sportPrompt.visible);
    EXPECT_FALSE(C().lapPrompt.visible);
    EXPECT_FALSE(C().lapSlider.visible);
    EXPECT_FALSE(C().lapSlider.enabled);
    EXPECT_EQ(C().lapSlider.value, 1);
    EXPECT_FALSE(C().warmupOption.enabled);
    EXPECT_FALSE(C().startPulseOption.enabled);
    EXPECT_FALSE(C().recordOption.enabled);
    EXPECT_EQ(C().selectedPhase, PhaseOption::None);
    EXPECT_EQ(C().startPulseOption.caption, "1 Startpuls voor iedereen");
    EXPECT_EQ(C().recordOption.caption, "Tijd Opnemen (evt Start)");
}

TEST_F(Setup, OpeningTakesTheActiveSheetAndOffersTheSportBox) {
    ASSERT_TRUE(setup.Command1_Click("/races/dovo-1.xlsx"));
    EXPECT_EQ(opened, (std::vector<std::string>{"/races/dovo-1.xlsx"}));
    EXPECT_TRUE(static_cast<FakeApp&>(*state.excelApp).shown);
    EXPECT_EQ(state.raceSheet, Book().sheetId("schaats"));
    EXPECT_TRUE(C().sportBox.visible);
    EXPECT_TRUE(C().sportBox.enabled);
    EXPECT_TRUE(C().sportPrompt.visible);
    EXPECT_TRUE(C().heatBox.enabled);
    EXPECT_FALSE(C().heatBox.visible);
    EXPECT_GT(changes, 0);
}

TEST_F(Setup, EachFailedOpeningStepChangesNothing) {
    ASSERT_TRUE(setup.Command1_Click("first.xlsx"));
    ASSERT_TRUE(Sport("Lopen"));
    const auto app = state.excelApp;
    const auto book = state.raceWorkbook;
    const auto sheet = state.raceSheet;
    const RaceControls before = C();
    bool* switches[] = {&failStart, &failShow, &openFails, &activeSheetFails};
    for (bool* fail : switches) {
        *fail = true;
        const Status status = setup.Command1_Click("second.xlsx");
        ASSERT_FALSE(status);
        EXPECT_NE(status.error().message.find("second.xlsx"), std::string::npos)
            << status.error().message;
        EXPECT_EQ(state.excelApp, app);
        EXPECT_EQ(state.raceWorkbook, book);
        EXPECT_EQ(state.raceSheet, sheet);
        EXPECT_EQ(C(), before);
        *fail = false;
    }
}

TEST_F(Setup, OpeningAgainTakesTheNewActiveSheetAndKeepsTheRaceChoices) {
    ASSERT_TRUE(setup.Command1_Click("first.xlsx"));
    ASSERT_TRUE(Sport("Fietsen"));
    setup.setLapCount(6);
    setup.fase_opnemen_Click();
    const auto first = state.raceWorkbook;
    ASSERT_TRUE(setup.Command1_Click("second.xlsx"));
    EXPECT_NE(state.raceWorkbook, first);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(state.raceSheet, Book().sheetId("schaats"));  // not the cycling sheet
    EXPECT_EQ(C().sportBox.text, "Fietsen");
    EXPECT_EQ(C().lapSlider.value, 6);
    EXPECT_EQ(state.phase, 3);
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
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    setup.setLapCount(3);
    ASSERT_TRUE(Sport(want.sport));
    EXPECT_EQ(C().heatBox.visible, want.heatBox);
    EXPECT_TRUE(C().lapPrompt.visible);
    EXPECT_EQ(C().lapPrompt.text, want.lapPrompt);
    EXPECT_EQ(C().lapSlider.maximum, want.sliderMax);
    EXPECT_EQ(C().lapSlider.visible, want.slider);
    EXPECT_EQ(C().lapSlider.enabled, want.slider);
    EXPECT_EQ(C().warmupOption.caption, want.warmupCaption);
    EXPECT_TRUE(C().warmupOption.enabled);
    EXPECT_TRUE(C().recordOption.enabled);
    EXPECT_EQ(C().startPulseOption.enabled, want.startPulse);
    EXPECT_EQ(state.raceSheet, Book().sheetId(want.sheet));
    EXPECT_EQ(*Book().activeSheet(), Book().sheetId(want.sheet));
    // Activating another sheet afterwards does not move the race sheet.
    ASSERT_TRUE(Book().activate(want.sheet == "loop" ? "fiets" : "loop"));
    EXPECT_EQ(state.raceSheet, Book().sheetId(want.sheet));
    EXPECT_EQ(state.phase, 0);
    EXPECT_TRUE(state.startPulsePending);
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
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Lopen"));
    ASSERT_TRUE(Sport(""));
    EXPECT_EQ(C().warmupOption.caption, "Opwarmen");
    EXPECT_FALSE(C().warmupOption.enabled);
    EXPECT_FALSE(C().startPulseOption.enabled);
    EXPECT_FALSE(C().recordOption.enabled);
    EXPECT_FALSE(C().lapPrompt.visible);
    EXPECT_EQ(C().lapPrompt.text, "Aantal rondes 1-5 : 1");
    EXPECT_FALSE(C().lapSlider.visible);
    EXPECT_FALSE(C().heatBox.visible);
    EXPECT_EQ(state.raceSheet, Book().sheetId("loop"));
}

TEST_F(Setup, OtherSportTextsChangeNothing) {
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Fietsen"));
    const RaceControls before = C();
    for (const char* text : {"lopen", "Lopen ", "Hardlopen"}) {
        ASSERT_TRUE(Sport(text));
        RaceControls expected = before;
        expected.sportBox.text = text;
        EXPECT_EQ(C(), expected) << text;
        EXPECT_EQ(state.raceSheet, Book().sheetId("fiets"));
    }
}

TEST_F(Setup, MissingSportSheetOrWorkbookIsAnErrorThatChangesNothing) {
    const Status noBook = Sport("Lopen");
    ASSERT_FALSE(noBook);
    EXPECT_FALSE(C().lapSlider.visible);
    EXPECT_FALSE(state.raceSheet.has_value());

    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Schaatsen"));
    Book().failIf = [](const WorkbookCall& c) { return c.op == "activate"; };
    const RaceControls before = C();
    const Status missing = Sport("Fietsen");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("fiets"), std::string::npos) << missing.error().message;
    // The box shows the sport in force again: passings go on by skating's rules.
    EXPECT_EQ(C(), before);
    EXPECT_EQ(C().sportBox.text, "Schaatsen");
    EXPECT_EQ(state.raceSheet, Book().sheetId("schaats"));
}

TEST_F(Setup, SwitchingSportsKeepsHeatAndReadsTheSliderBeforeItsNewMaximum) {
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Schaatsen"));
    setup.setHeatText("Heat 3");
    setup.Combo2_Click();
    ASSERT_TRUE(Sport("Fietsen"));
    setup.setLapCount(7);
    ASSERT_TRUE(Sport("Lopen"));
    EXPECT_EQ(C().lapPrompt.text, "Aantal rondes 1-5 : 7");
    EXPECT_EQ(C().lapSlider.value, 5);
    setup.fase_opnemen_Click();
    ASSERT_TRUE(Sport("Fietsen"));
    EXPECT_FALSE(C().startPulseOption.enabled);
    ASSERT_TRUE(Sport("Lopen"));
    EXPECT_TRUE(C().startPulseOption.enabled);
    ASSERT_TRUE(Sport("Schaatsen"));
    EXPECT_TRUE(C().heatBox.visible);
    EXPECT_EQ(C().heatBox.text, "Heat 3");
    EXPECT_EQ(state.heatNumber, "3");
    EXPECT_EQ(state.phase, 3);
}

TEST_F(Setup, HeatChoiceTakesTheDigitOfHeatOneToFive) {
    const struct {
        const char* text;
        const char* heat;
    } cases[] = {{"Heat 1", "1"}, {"Heat 5", "5"}, {"Heat 6", "5"},  {"heat 2", "5"},
                 {"Heat 2", "2"}, {"", "2"},       {"Heat 2 ", "2"}, {"Heat 4", "4"}};
    for (const auto& c : cases) {
        setup.setHeatText(c.text);
        setup.Combo2_Click();
        EXPECT_EQ(state.heatNumber, c.heat) << c.text;
    }
}

TEST_F(Setup, PhaseOptionsSetPhaseAndArmOrDisarmThePulse) {
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Lopen"));
    setup.fase_startschot_Click();
    EXPECT_EQ(state.phase, 2);
    EXPECT_TRUE(state.startPulsePending);
    EXPECT_EQ(C().selectedPhase, PhaseOption::StartPulse);
    state.startPulsePending = false;  // the pulse was used
    setup.fase_opnemen_Click();
    EXPECT_EQ(state.phase, 3);
    EXPECT_FALSE(C().startPulseOption.enabled);
    setup.fase_opwarmen_Click();
    EXPECT_EQ(state.phase, 1);
    EXPECT_FALSE(state.startPulsePending);
    EXPECT_FALSE(C().startPulseOption.enabled);
    EXPECT_EQ(C().selectedPhase, PhaseOption::Warmup);
    setup.fase_startschot_Click();
    EXPECT_TRUE(state.startPulsePending);
    ASSERT_TRUE(Sport("Fietsen"));
    EXPECT_EQ(state.phase, 2);
    EXPECT_TRUE(state.startPulsePending);
}

TEST_F(Setup, SliderStaysInRangeAndRewritesThePrompt) {
    ASSERT_TRUE(setup.Command1_Click("race.xlsx"));
    ASSERT_TRUE(Sport("Lopen"));
    setup.setLapCount(3);
    setup.Slider1_Change();
    setup.setLapCount(4);
    setup.Slider1_Change();
    EXPECT_EQ(C().lapPrompt.text, "Aantal rondes 4");
    setup.setLapCount(9);
    EXPECT_EQ(C().lapSlider.value, 5);
    setup.setLapCount(0);
    EXPECT_EQ(C().lapSlider.value, 1);
}

}  // namespace
}  // namespace tivaro::testing
