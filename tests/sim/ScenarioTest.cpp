// Scenario files: every mistake is refused with the field named, and the documented examples load.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "sim/Scenario.h"

namespace kx6000::sim::test {
namespace {

TEST(ScenarioTest, RefusesMistakesNamingTheField) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"modle": 6100})", "modle is not a known field"},
        {R"({"faults": {"silence": true}})", "faults.silence is not a known field"},
        {R"({"faults": {"errorWords": [{"command": "33", "word": "8104", "blok": 1}]}})",
         "faults.errorWords[0].blok is not a known field"},
        {R"({"model": 6300})", "model must be 6100 or 6200"},
        {R"({"start": {"baud": 38400}})", "start.baud must be 9600, 19200 or 115200"},
        {R"({"faults": {"errorWords": [{"command": "33", "word": "81O4"}]}})",
         "word must be a text of 4 hex"},
        {R"({"flash": [{"start": "0x10000", "length": 16}]})", "at an address outside its flash"},
        {R"({"devices": [{"networkId": 1, "deviceId": 1, "flash": [{"start": 0, "length": 1}]}]})",
         "attached to a KX6200 only"},
        {R"({"model": 6200, "devices": [{"networkId": 0, "deviceId": 0, "flash": [{"start": 0, "length": 1}]}]})",
         "that is the radio itself"},
        {"{", "not valid JSON"},
    };
    for (auto [json, message] : cases) {
        try {
            ParseScenario(json);
            ADD_FAILURE() << json << " was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos)
                << json << " gave: " << error.what();
        }
    }
}

TEST(ScenarioTest, TheDocumentedExamplesLoad) {
    std::ifstream file(std::string(KX6000_SOURCE_DIR) + "/docs/sim-scenarios.md");
    const std::string doc{std::istreambuf_iterator<char>(file), {}};
    const std::regex block("```json\n([^`]*)```");
    int examples = 0;
    for (std::sregex_iterator it(doc.begin(), doc.end(), block), end; it != end; ++it, ++examples) {
        Scenario scenario;
        ASSERT_NO_THROW(scenario = ParseScenario(it->str(1))) << it->str(1);
        EXPECT_TRUE(examples > 0 || (scenario.model == 6200 && scenario.devices.size() == 1))
            << "the full one";
    }
    EXPECT_GE(examples, 3);
}

}  // namespace
}  // namespace kx6000::sim::test
