#include "cli/Results.h"

#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "files/Overlaps.h"
#include "files/clsFile.h"
#include "manager/Plan.h"
#include "support/Errors.h"
#include "support/OutsideText.h"
#include "ui/WindowRules.h"

namespace kx6000::cli {
namespace {

void Append(json& list, const json& more) {
    for (const json& item : more) list.push_back(item);
}

// JSON itself escapes only C0; DEL and the C1 controls (U+0080 to U+009F, CSI among them) would still act
// on a terminal showing the document. Their bytes can only be inside strings, so they become \u escapes.
std::string TerminalSafe(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) {
            const unsigned code = c == 0x7F ? c : next;
            constexpr char kHex[] = "0123456789abcdef";
            safe += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 15]};
            i += c == 0xC2;
        } else {
            safe += text[i];
        }
    }
    return safe;
}

}  // namespace

void PrintJson(const json& document, const std::vector<std::shared_ptr<const colDataBlocks>>& blocks) {
    const std::string text = TerminalSafe(document.dump(2, ' ', false, json::error_handler_t::replace));
    // A quote inside a dumped string follows a backslash, so this is found only as a key and its value.
    constexpr std::string_view kMark = "\"blocks\": null";
    size_t from = 0;
    for (const std::shared_ptr<const colDataBlocks>& data : blocks) {
        size_t at = text.find(kMark, from);
        std::string indent(at - text.rfind('\n', at) - 1, ' ');
        std::cout.write(text.data() + from, static_cast<std::streamsize>(at - from)) << "\"blocks\": [";
        // Hex text, which needs no escaping.
        for (int32_t b = 0; b < data->Count(); ++b)
            std::cout << (b == 0 ? "\n" : ",\n") << indent << "  \"" << data->Item(b) << '"';
        std::cout << (data->Count() > 0 ? '\n' + indent + "]" : "]");
        from = at + kMark.size();
    }
    std::cout.write(text.data() + from, static_cast<std::streamsize>(text.size() - from)) << '\n';
}

json Refusal(const std::string& name, int32_t line, const std::string& reason) {
    return {{"name", Utf8OfBytes(name)}, {"line", line > 0 ? json(line) : json()}, {"reason", reason}};
}

json RunDocument(json run, const std::vector<json>& radios) {
    int32_t result = run.value("result", 0);
    json configurations = json::array(), refused = run.value("refused", json::array()), stopped;
    bool upgradeMode = false, anyVerdict = false, verified = true;
    for (const json& radio : radios) {
        if (result == 0) result = radio["result"].get<int32_t>();
        Append(configurations, radio["configurations"]);
        Append(refused, radio["refused"]);
        if (!radio["stopped"].is_null()) {
            if (stopped.is_null()) stopped = radio["stopped"];
            upgradeMode = upgradeMode || radio["stopped"]["radioInUpgradeMode"].get<bool>();
        }
        if (radio.contains("verified") && !radio["verified"].is_null()) {
            anyVerdict = true;
            verified = verified && radio["verified"].get<bool>();
        }
    }
    if (!stopped.is_null()) stopped["radioInUpgradeMode"] = upgradeMode;
    run["result"] = result;
    run["message"] = ErrorMessage(result);
    run["configurations"] = configurations;
    run["refused"] = refused;
    run["stopped"] = stopped;
    if (run.contains("verified")) run["verified"] = anyVerdict ? json(verified) : json();
    run["radios"] = radios;
    return run;
}

void PrintConfigurations(const json& configurations, bool devices) {
    std::printf("%-28s %-18s %-10s%s\n", "Product ID", "Status", "Address", devices ? " Network Device" : "");
    for (const json& configuration : configurations) {
        std::printf("%-28s %-18s 0x%08X", Printable(configuration["productId"].get<std::string>()).c_str(),
                    StatusOf(configuration["status"].get<int32_t>()).text.c_str(),
                    configuration["address"].get<uint32_t>());
        if (devices) {
            std::printf(" %7d %6d", configuration["networkId"].get<int32_t>(),
                        configuration["deviceId"].get<int32_t>());
        }
        std::printf("\n");
    }
}

std::string Outcome(const json& radio) {
    const json& stopped = radio["stopped"];
    if (!stopped.is_null()) {
        return "stopped" +
               (stopped["during"].is_null() ? "" : " during " + stopped["during"].get<std::string>());
    }
    if (radio.value("verified", json()) == false) {
        for (const json& check : radio["verify"]) {
            if (check["status"] == 0) continue;
            return "verify failed: " + check["tag"].get<std::string>() +
                   (check["status"].is_null() ? " not listed" : " status " + check["status"].dump());
        }
    }
    if (!radio["refused"].empty()) {
        std::string names;
        for (const json& refusal : radio["refused"])
            names += (names.empty() ? "" : ", ") + refusal["name"].get<std::string>();
        return "refused: " + names;
    }
    return radio["result"].dump() + " " + radio["message"].get<std::string>();
}

json PlanDocument(const DownloadPlan& plan) {
    json images = json::array(), lost = json::array();
    for (const PlannedImage& image : plan.images) {
        json blocks = json::array();
        for (const PlannedBlock& block : image.blocks)
            blocks.push_back({{"id", block.id}, {"first", block.first}, {"last", block.last}});
        images.push_back({{"file", Utf8OfBytes(image.file)},
                          {"image", image.imageInFile},
                          {"tag", Utf8OfBytes(image.tag)},
                          {"device", image.device},
                          {"hardware", image.hardware.empty() ? json() : json(image.hardware)},
                          {"blocks", blocks},
                          {"words", image.words},
                          {"lineBytes", image.lineBytes}});
    }
    for (const LostConfiguration& configuration : plan.lost) {
        lost.push_back({{"productId", Utf8OfBytes(configuration.productId)},
                        {"device", configuration.device},
                        {"block", configuration.block},
                        {"erasedBy", Utf8OfBytes(configuration.erasedBy)},
                        {"sentence", Utf8OfBytes(configuration.Sentence())}});
    }
    return {{"images", images},
            {"lost", lost},
            {"fpgaQuestion", plan.fpgaQuestion},
            {"result", plan.result},
            {"message", ErrorMessage(plan.result)},
            {"refusedAt", plan.result == 0 ? json() : json(Utf8OfBytes(plan.refusedImage))},
            {"baud", plan.baud.empty() ? json() : json(std::stoi(plan.baud))},
            {"estimate",
             {{"seconds", plan.EstimatedSeconds()},
              {"measuredSeconds", plan.measuredSeconds},
              {"lineSeconds", plan.lineSeconds},
              {"lineBytes", plan.LineBytes()}}}};
}

void PrintPlan(const json& plan) {
    auto text = [](const json& value) { return Printable(value.get<std::string>()); };
    std::printf("\nPlan (a dry run: nothing was erased or written):\n");
    int number = 0;
    for (const json& image : plan["images"]) {
        const std::string device = image["device"].get<std::string>();
        std::printf("  %d. %s%s [%s] to %s\n", ++number, text(image["file"]).c_str(),
                    image["image"] == 1 ? "" : (" (image " + image["image"].dump() + ")").c_str(),
                    text(image["tag"]).c_str(),
                    device == "0000" ? "the radio" : ("device " + device).c_str());
        if (!image["hardware"].is_null())
            std::printf("     hardware %s: the radio has it\n", text(image["hardware"]).c_str());
        std::string blocks;
        for (const json& block : image["blocks"]) {
            blocks += (blocks.empty() ? "" : ", ") + block["id"].dump() + " (" +
                      HexAddress(block["first"].get<int64_t>()) + " to " +
                      HexAddress(block["last"].get<int64_t>()) + ")";
        }
        std::printf("     erases block%s %s\n", image["blocks"].size() == 1 ? "" : "s", blocks.c_str());
        std::printf("     writes %s words\n", image["words"].dump().c_str());
    }
    for (const json& configuration : plan["lost"])
        std::printf("  %s\n", text(configuration["sentence"]).c_str());
    if (plan["fpgaQuestion"] == true)
        std::printf("  The FPGA warning would be asked before the radio is reset.\n");
    const json& estimate = plan["estimate"];
    if (!plan["baud"].is_null()) {
        std::printf(
            "  At %s baud: about %.1f s (%.1f s as this dry run took, %.1f s for %s bytes on the line)\n",
            plan["baud"].dump().c_str(), estimate["seconds"].get<double>(),
            estimate["measuredSeconds"].get<double>(), estimate["lineSeconds"].get<double>(),
            estimate["lineBytes"].dump().c_str());
    }
    if (plan["result"] == 0) {
        std::printf("  The download would be attempted.\n");
    } else {
        std::printf("  The download would end with %s (%s) at %s.\n", plan["result"].dump().c_str(),
                    text(plan["message"]).c_str(), text(plan["refusedAt"]).c_str());
    }
}

int UsageError(const std::string& text, bool asJson, const std::optional<std::string>& command) {
    std::cerr << text << '\n';
    if (asJson) PrintJson({{"usageError", text}, {"command", command ? json(*command) : json()}});
    return kUsageError;
}

}  // namespace kx6000::cli
