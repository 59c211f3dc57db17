// The script engine runs for the whole test program, as it does for the
// application from its entry on.
#include "report/components/ZvLERun.h"

#include <gtest/gtest.h>

namespace {

class ScriptEngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitScriptEngine(); }
    void TearDown() override { DoneScriptEngine(); }
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new ScriptEngineEnvironment);

} // namespace
