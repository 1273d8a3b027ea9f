// The lap rules of each sport, walked from the start to the finish as a competitor would.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "timing/colours.h"
#include "timing/sports.h"

namespace tivaro::timing {
namespace {

struct Passing {
    std::string type;
    int column;  // 0: nothing written
    std::string counterAfter;
    bool colourCell;
};

// Every passing from an empty counter until the counter reads "x", then one more.
std::vector<Passing> RunRace(const SportRules& sport, int laps) {
    std::vector<Passing> passings;
    std::string counter;
    for (int guard = 0; guard < 20; ++guard) {
        const LapStep step = DecideLapStep(sport, counter, laps);
        if (step.timeColumn > 0) {
            counter = step.newCounter;
        }
        passings.push_back({step.passType, step.timeColumn, counter, step.colourCell});
        if (step.timeColumn == 0) {
            break;
        }
    }
    return passings;
}

TEST(LapRules, CyclingWithEachLapCountEndsInColumnN) {
    for (int laps = 1; laps <= 8; ++laps) {
        const std::vector<Passing> race = RunRace(kCycling, laps);
        ASSERT_EQ(race.size(), static_cast<std::size_t>(laps + 2)) << "laps " << laps;
        EXPECT_EQ(race.front().type, "Start");
        EXPECT_EQ(race[race.size() - 2].type, "Finish");
        EXPECT_EQ(race[race.size() - 2].column, 14);
        EXPECT_EQ(race[race.size() - 3].counterAfter, "8") << "laps " << laps;
        EXPECT_EQ(race.back().type, "Uitfietsen");
        for (int k = 1; k < laps; ++k) {
            EXPECT_EQ(race[k].type, "Doork " + std::to_string(k));
            EXPECT_EQ(race[k].column, 6 + k);
        }
    }
}

TEST(LapRules, UnrecognisedCountersWriteNothing) {
    const struct {
        const SportRules* sport;
        const char* counter;
    } cases[] = {
        {&kRunning, "0"},  {&kRunning, "6"},  {&kRunning, "10"}, {&kRunning, "01"},
        {&kRunning, " 1"}, {&kRunning, "1 "}, {&kRunning, "X"},  {&kRunning, "1.0"},
        {&kRunning, "-1"}, {&kCycling, "9"},  {&kSkating, "11"}, {&kSkating, "abc"},
    };
    for (const auto& c : cases) {
        const LapStep step = DecideLapStep(*c.sport, c.counter, 3);
        EXPECT_EQ(step.timeColumn, 0) << c.sport->boxText << " '" << c.counter << "'";
        EXPECT_EQ(step.passType, "Opwarmen");
        EXPECT_EQ(step.colour, kYellow);
        EXPECT_FALSE(step.colourCell);
    }
}

TEST(LapRules, LapCountIsOnlyComparedWithTheLapAboutToStart) {
    // Lowered below the competitor's progress: the competitor goes on lap by lap to the mark.
    EXPECT_EQ(DecideLapStep(kRunning, "2", 2).newCounter, "3");
    EXPECT_EQ(DecideLapStep(kRunning, "3", 2).newCounter, "4");
    // Raised: the mark comes later.
    EXPECT_EQ(DecideLapStep(kRunning, "2", 4).newCounter, "3");
    EXPECT_EQ(DecideLapStep(kRunning, "2", 3).newCounter, "5");
    // "4" always leads to the mark, whatever the count.
    EXPECT_EQ(DecideLapStep(kRunning, "4", 1).newCounter, "5");
    EXPECT_EQ(DecideLapStep(kCycling, "7", 2).newCounter, "8");
}

TEST(LapRules, SportsAreFoundByTheirExactText) {
    EXPECT_EQ(SportOfBoxText("Lopen"), Sport::Running);
    EXPECT_EQ(SportOfBoxText("Schaatsen"), Sport::Skating);
    EXPECT_EQ(SportOfBoxText("Fietsen"), Sport::Cycling);
    EXPECT_EQ(SportOfBoxText(""), Sport::None);
    EXPECT_EQ(SportOfBoxText("lopen"), std::nullopt);
    EXPECT_EQ(SportOfBoxText("Lopen "), std::nullopt);
}

}  // namespace
}  // namespace tivaro::timing
