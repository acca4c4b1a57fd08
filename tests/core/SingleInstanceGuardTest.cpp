#include "core/ApplicationInformation.h"
#include "core/SingleInstanceGuard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>

namespace {

// A name of this test run only, so that a running program or a parallel test never shares it.
class SingleInstanceGuardTest : public ::testing::Test {
protected:
    const std::string name = "Global\\TarnixGuardTest-" + std::to_string(::getpid()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(SingleInstanceGuardTest, SecondGuardIsNotFirstUntilTheFirstIsGone)
{
    auto first = std::make_unique<SingleInstanceGuard>(name.c_str());
    EXPECT_TRUE(first->IsFirstInstance());
    {
        const SingleInstanceGuard second(name.c_str());
        EXPECT_FALSE(second.IsFirstInstance());
    }
    // The second guard going away does not release the first one's hold.
    EXPECT_FALSE(SingleInstanceGuard(name.c_str()).IsFirstInstance());
    first.reset();
    EXPECT_TRUE(SingleInstanceGuard(name.c_str()).IsFirstInstance());
}

TEST_F(SingleInstanceGuardTest, GuardsOfOtherNamesDoNotMeet)
{
    const SingleInstanceGuard first(name.c_str());
    const std::string otherName = name + "-other";
    const SingleInstanceGuard other(otherName.c_str());
    EXPECT_TRUE(other.IsFirstInstance());
}

TEST(ApplicationInformation, IdentifiesTheProgramAndItsSupportedSchema)
{
    const ApplicationInformation& information = ApplicationInformation::GetApplicationInformation();
    EXPECT_EQ(&information, &ApplicationInformation::GetApplicationInformation());
    EXPECT_EQ(information.applicationName, "Tarnix Programmer");
    EXPECT_EQ(information.versionSuffix, "");
    EXPECT_EQ(information.GetVersionText(), "1.1.1.0");
    EXPECT_EQ(information.supportedParametersVersionMajor, 1u);
    EXPECT_EQ(information.supportedParametersVersionMinor, 1u);
}

}  // namespace
