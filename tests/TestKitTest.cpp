// The shared test helpers: a test that fails must not leave its environment
// to the next one, and a child's end must be told apart from its result.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/TestKit.h"

namespace {

std::optional<std::string> Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

}  // namespace

TEST(TestKit, ScopedEnvPutsTheVariableBackHoweverTheScopeEnds) {
    const char* name = "ZV_TESTKIT_PROBE";
    struct sCase {
        const char* Before;  // nullptr: not set
        const char* During;  // nullptr: removed
        bool Early;          // the scope is left by an early return, as a failed ASSERT does
    } cases[] = {
        {nullptr, "de", false}, {nullptr, "de", true}, {"pl", "de", false},
        {"pl", "de", true},     {"pl", nullptr, true}, {"pl", "pl", false},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(std::string(c.Before ? c.Before : "unset") + " -> " + (c.During ? c.During : "unset"));
        if (c.Before) ::setenv(name, c.Before, 1);
        else ::unsetenv(name);
        [&] {
            testkit::cScopedEnv env(name, c.During);
            EXPECT_EQ(Env(name), c.During ? std::optional<std::string>(c.During) : std::nullopt);
            if (c.Early) return;
            env.Set("later");
        }();
        EXPECT_EQ(Env(name), c.Before ? std::optional<std::string>(c.Before) : std::nullopt);
        {
            // Kept as it is, put back after the code under test changed it.
            testkit::cScopedEnv keep(name);
            ::setenv(name, "changed", 1);
        }
        EXPECT_EQ(Env(name), c.Before ? std::optional<std::string>(c.Before) : std::nullopt);
    }
    ::unsetenv(name);
}

TEST(TestKit, InChildTellsTheResultFromTheWayTheChildEnded) {
    struct sCase {
        const char* Name;
        int (*Fn)();
        int Want;
    } cases[] = {
        {"result 0", [] { return 0; }, 0},
        {"result 7", [] { return 7; }, 7},
        {"throws", []() -> int { throw std::runtime_error("x"); }, 125},
        {"killed",
         []() -> int {
             ::raise(SIGKILL);
             return 0;
         },
         128 + SIGKILL},
    };
    for (const sCase& c : cases) EXPECT_EQ(testkit::InChild(c.Fn), c.Want) << c.Name;
}
