// Splits arbitrary bytes as an open command and converts them as a desktop entry's Exec line,
// checking that the address always lands whole in one argument and that a converted line splits
// into the same arguments as the line itself.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "util/Unitutils_command.h"

namespace {

constexpr std::string_view kAddress = "a \"b\" 'c' \\d $(e) %1";

bool HoldsTheAddress(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.find(kAddress) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    if (CommandArguments(input, kAddress, args)) {
        Check(args.size() >= 2 && HoldsTheAddress(args));
    }

    const std::optional<std::string> command = ExecLineToCommand(input);
    if (command && command->find(kCommandPlaceholder) != std::string::npos) {
        Check(CommandArguments(*command, kAddress, args) && HoldsTheAddress(args));
    }

    // With every percent sign doubled the line is plain text, which must come back as the same
    // arguments as the line itself gives.
    if (input.find(kCommandPlaceholder) != std::string::npos ||
        (!input.empty() && input.back() == '\\')) {
        return 0;
    }
    std::string literal;
    for (char c : input) {
        literal += c;
        if (c == '%') {
            literal += '%';
        }
    }
    const std::optional<std::string> converted = ExecLineToCommand(literal);
    std::vector<std::string> direct;
    const bool splits = CommandArguments(input + " %1", kAddress, direct);
    Check(converted.has_value() == splits);
    if (converted) {
        Check(CommandArguments(*converted + " %1", kAddress, args) && args == direct);
    }
    return 0;
}
