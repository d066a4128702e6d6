// The results of kx6000-download as JSON (one shape per command, docs/json/) and as the text tables that
// one run and a run of several radios both print.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kx6000 {
class colDataBlocks;
struct DownloadPlan;
}  // namespace kx6000

namespace kx6000::cli {

using nlohmann::json;

// With `blocks`, each "blocks": null of the document is written as the next of them, straight from the
// parsed images: they hold a whole file's data, which a copy in the document and its text would double.
void PrintJson(const json& document, const std::vector<std::shared_ptr<const colDataBlocks>>& blocks = {});

// What was refused and why: a file (with its line, when the reason has one) or a configuration.
json Refusal(const std::string& name, int32_t line, const std::string& reason);

// The document of a radio command: the run's own fields (`result` when it ended before any radio,
// `refused`, `files`) completed from its radios, one rule for one radio and for several: the first
// failing radio's result, every radio's configurations and refusals, the first stop (in upgrade mode when
// any radio is), and, for a run with "verified", the verdict of --verify over all of them.
json RunDocument(json run, const std::vector<json>& radios);

// The radio's configurations as the report prints them; the network and device columns for the KX6200.
void PrintConfigurations(const json& configurations, bool devices);

// A radio's outcome in a few words for the table of several radios: "0 Success", "stopped during X",
// "verify failed: TAG status 2", "refused: NAME".
std::string Outcome(const json& radio);

// A dry run's plan as the document's "plan", and as text from there (one printer for one radio and several).
json PlanDocument(const DownloadPlan& plan);
void PrintPlan(const json& plan);

// A usage error: said on stderr and, with --json, as {"usageError", "command"} on stdout. Exit status 2.
int UsageError(const std::string& text, bool asJson, const std::optional<std::string>& command);

}  // namespace kx6000::cli
