// When the workbook is saved during a race: after input stops, at most twice a second, and
// within a second during a long burst.

#include <gtest/gtest.h>

#include "workbook/save_policy.h"

namespace tivaro::workbook {
namespace {

using namespace std::chrono_literals;
using Clock = SavePolicy::Clock;

class SavePolicyTest : public ::testing::Test {
protected:
    Clock::time_point at(std::chrono::milliseconds offset) const { return start_ + offset; }
    Clock::time_point start_ = Clock::time_point{} + 1000h;
    SavePolicy policy_;
};

TEST_F(SavePolicyTest, NothingChangedNothingToSave) {
    EXPECT_FALSE(policy_.shouldSave(at(0ms), false));
    EXPECT_FALSE(policy_.pending());
    EXPECT_FALSE(policy_.shouldSaveOnClose());
    EXPECT_EQ(policy_.nextCheck(at(0ms)), std::nullopt);
}

TEST_F(SavePolicyTest, SavesAsSoonAsInputStopsButNotTwiceWithinHalfASecond) {
    policy_.markChanged(at(0ms));
    EXPECT_TRUE(policy_.shouldSave(at(0ms), false));
    policy_.saved(at(0ms));
    EXPECT_FALSE(policy_.pending());

    policy_.markChanged(at(100ms));
    EXPECT_FALSE(policy_.shouldSave(at(100ms), false));
    EXPECT_EQ(policy_.nextCheck(at(100ms)), at(500ms));
    EXPECT_FALSE(policy_.shouldSave(at(499ms), false));
    EXPECT_TRUE(policy_.shouldSave(at(500ms), false));
    EXPECT_TRUE(policy_.shouldSaveOnClose());
}

TEST_F(SavePolicyTest, ABurstIsSavedAtMostTwiceASecondAndAtLeastEverySecond) {
    int saves = 0;
    Clock::time_point lastSave{};
    std::chrono::milliseconds longestWait{0};
    std::optional<Clock::time_point> oldestUnsaved;
    // A passing every 20 ms for five seconds, always with more input waiting.
    for (auto t = 0ms; t < 5000ms; t += 20ms) {
        policy_.markChanged(at(t));
        if (!oldestUnsaved) {
            oldestUnsaved = at(t);
        }
        if (policy_.shouldSave(at(t), true)) {
            if (saves > 0) {
                EXPECT_GE(at(t) - lastSave, 500ms);
            }
            longestWait = std::max(
                longestWait,
                std::chrono::duration_cast<std::chrono::milliseconds>(at(t) - *oldestUnsaved));
            policy_.saved(at(t));
            lastSave = at(t);
            oldestUnsaved.reset();
            ++saves;
        }
    }
    EXPECT_GE(saves, 8);
    EXPECT_LE(saves, 10);
    EXPECT_LE(longestWait, 1000ms);
    EXPECT_TRUE(policy_.pending());  // the tail of the burst waits for the next check
}

TEST_F(SavePolicyTest, AFailedSaveStaysPendingAndIsRetriedAfterTheInterval) {
    policy_.markChanged(at(0ms));
    ASSERT_TRUE(policy_.shouldSave(at(0ms), false));
    policy_.saveFailed(at(0ms));
    EXPECT_TRUE(policy_.pending());
    EXPECT_FALSE(policy_.shouldSave(at(200ms), false));
    EXPECT_EQ(policy_.nextCheck(at(200ms)), at(500ms));
    EXPECT_TRUE(policy_.shouldSave(at(500ms), false));
}

}  // namespace
}  // namespace tivaro::workbook
