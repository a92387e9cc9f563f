// Reopening after an unplug against a recording host: waiting and attempts on the host's
// timer, the toggle, the user's own open or close, and shots that come after a wait ended.
#include "reopenpolicy.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using serial::ReopenHost;
using serial::ReopenPolicy;
using serial::ReopenState;

namespace {

class FakeHost : public ReopenHost {
public:
    void StartTimer(int ms) override
    {
        calls.push_back("start " + std::to_string(ms));
        timerRunning = true;
    }
    void StopTimer() override
    {
        calls.push_back("stop");
        timerRunning = false;
    }
    bool TryReopen() override
    {
        calls.push_back("try");
        const bool opened = !openResults.empty() && openResults.front();
        if (!openResults.empty())
            openResults.pop_front();
        return opened;
    }
    void Reopened() override { calls.push_back("reopened"); }
    void StateChanged(ReopenState state) override
    {
        calls.push_back(state == ReopenState::Waiting ? "waiting" : "idle");
    }

    // The timer's shot, as the host's event loop delivers it.
    void Shoot(ReopenPolicy& policy)
    {
        ASSERT_TRUE(timerRunning);
        timerRunning = false;
        policy.Poll();
    }

    std::vector<std::string> calls;
    std::deque<bool> openResults;  // what each TryReopen answers (false once empty)
    bool timerRunning = false;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST(ReopenPolicy, WaitsAndTriesEveryShotUntilTheDeviceIsBack)
{
    FakeHost host;
    ReopenPolicy policy(host);
    policy.SetEnabled(true);
    EXPECT_TRUE(host.calls.empty());
    policy.DeviceLost();
    EXPECT_EQ(policy.State(), ReopenState::Waiting);
    EXPECT_EQ(host.calls, (Calls{"start 500", "waiting"}));

    host.calls.clear();
    host.openResults = {false, false, true};
    host.Shoot(policy);
    host.Shoot(policy);
    EXPECT_EQ(host.calls, (Calls{"try", "start 500", "try", "start 500"}));
    host.calls.clear();
    host.Shoot(policy);
    EXPECT_EQ(host.calls, (Calls{"try", "idle", "reopened"}));
    EXPECT_EQ(policy.State(), ReopenState::Idle);
    EXPECT_FALSE(host.timerRunning);

    // Lost again after the reopen: waiting again.
    host.calls.clear();
    policy.DeviceLost();
    policy.DeviceLost();  // a second report changes nothing
    EXPECT_EQ(host.calls, (Calls{"start 500", "waiting"}));
}

TEST(ReopenPolicy, TheToggleAndTheUsersOwnActions)
{
    FakeHost host;
    ReopenPolicy policy(host);
    // Off (the default): a loss only marks the port.
    policy.DeviceLost();
    EXPECT_EQ(policy.State(), ReopenState::Idle);
    EXPECT_TRUE(host.calls.empty());
    // Switched on while the lost port is still closed: the wait starts now.
    policy.SetEnabled(true);
    EXPECT_EQ(host.calls, (Calls{"start 500", "waiting"}));
    // Switched off: the wait ends, the timer with it.
    host.calls.clear();
    policy.SetEnabled(false);
    EXPECT_EQ(host.calls, (Calls{"stop", "idle"}));
    EXPECT_FALSE(host.timerRunning);
    // On again: the port is still the lost one.
    host.calls.clear();
    policy.SetEnabled(true);
    EXPECT_EQ(host.calls, (Calls{"start 500", "waiting"}));
    // The user closes (or opens) the port: the wait ends and the port is no longer lost.
    host.calls.clear();
    policy.ManualAction();
    EXPECT_EQ(host.calls, (Calls{"stop", "idle"}));
    policy.SetEnabled(false);
    policy.SetEnabled(true);
    policy.ManualAction();
    EXPECT_EQ(host.calls, (Calls{"stop", "idle"}));
    EXPECT_EQ(policy.State(), ReopenState::Idle);
}

TEST(ReopenPolicy, AShotAfterTheWaitEndedTriesNothing)
{
    FakeHost host;
    ReopenPolicy policy(host);
    policy.SetEnabled(true);
    policy.DeviceLost();
    policy.ManualAction();
    host.calls.clear();
    policy.Poll();  // the shot was already queued when the wait ended
    EXPECT_TRUE(host.calls.empty());
}
