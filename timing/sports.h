#pragma once
// The three sports and everything that differs between them: the sport box text, the sheet,
// the set-up captions, and the lap rules that decide what a passing means.
//
// A competitor's lap counter (column T) moves through: empty (not started), "1" up to one
// below the sport's last-lap mark (the next passing is "Doork " + counter), the last-lap mark
// (the next passing is the finish), and "x" (finished). Any other counter text is not
// recognised and a passing writes nothing.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tivaro::timing {

// Worksheet layout: one competitor per row in rows 3 to 200.
inline constexpr int kFirstCompetitorRow = 3;
inline constexpr int kLastCompetitorRow = 200;
inline constexpr int kBibColumn = 1;          // A
inline constexpr int kTransponderColumn = 2;  // B
inline constexpr int kHeatColumn = 3;         // C, skating only
inline constexpr int kStartColumn = 6;        // F; the counter value k selects column F + k
inline constexpr int kCounterColumn = 20;     // T
inline constexpr std::string_view kTransponderBlock = "B3:B200";
inline constexpr std::string_view kStartTimeBlock = "F3:F200";
inline constexpr std::string_view kCounterBlock = "T3:T200";

inline constexpr std::string_view kFinishedMark = "x";

// The sport of a race; None until one is chosen.
enum class Sport { None, Skating, Running, Cycling };

// The race phase: None until one is chosen, then warm-up, the one common start pulse for
// everyone (running), or recording times.
enum class Phase { None, Warmup, StartPulse, Recording };

struct SportRules {
    Sport sport;
    std::string_view boxText;        // what the sport box shows
    std::string_view sheetName;      // the sport's own worksheet
    std::string_view warmupCaption;  // the warm-up option's caption for this sport
    std::string_view coolDownName;   // name of a passing after the finish
    int lastLapMark;                 // counter value whose next passing is the finish
    int sliderMax;                   // largest lap count; 0: fixed laps, no slider
    bool hasStartPulse;              // the common start pulse applies
    // Intermediate passings "Doork k" for k in this range leave the bib cell as it is.
    int firstUncolouredLap;
    int lastUncolouredLap;

    bool readsLapCount() const { return sliderMax > 0; }
    int finishColumn() const { return kStartColumn + lastLapMark; }
};

inline constexpr std::array<SportRules, 3> kSports = {{
    {Sport::Skating, "Schaatsen", "schaats", "Inschaatsen", "Uitschaatsen", 10, 0, false, 3, 9},
    {Sport::Running, "Lopen", "loop", "Inlopen", "Uitlopen", 5, 5, true, 0, -1},
    {Sport::Cycling, "Fietsen", "fiets", "Infietsen", "Uitfietsen", 8, 8, false, 0, -1},
}};

inline constexpr const SportRules& kSkating = kSports[0];
inline constexpr const SportRules& kRunning = kSports[1];
inline constexpr const SportRules& kCycling = kSports[2];

// The rules of `sport`; null for Sport::None.
const SportRules* RulesOf(Sport sport);

// The sport whose box text is exactly `boxText` (case-sensitive), Sport::None for the empty
// text, nothing for any other text.
std::optional<Sport> SportOfBoxText(std::string_view boxText);

// What the lap step does with one passing.
struct LapStep {
    int timeColumn = 0;      // column that gets the passing time; 0 writes nothing
    std::string newCounter;  // the counter text written after the time, when timeColumn > 0
    std::string passType;
    std::uint32_t colour = 0;
    bool colourCell = false;  // colour the bib cell with `colour`
};

// The lap step for a competitor whose counter cell reads `counter`, with `lapCount` laps
// (ignored when the sport has fixed laps). The lap count is tested only for equality with
// the lap about to start, so a count lowered below a competitor's progress mid-race leads
// that competitor on to the last-lap mark lap by lap.
LapStep DecideLapStep(const SportRules& sport, std::string_view counter, int lapCount);

// The counter text the common start pulse writes into every row: "1", or the last-lap mark
// when the race has one lap, so that everyone's next passing is the finish.
std::string StartPulseCounter(const SportRules& sport, int lapCount);

}  // namespace tivaro::timing
