#include "util/Unitutils_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(CommandArguments, SplitsFirstThenPutsTheAddressInItsArgument) {
    struct Row {
        const char* label;
        const char* command;
        std::optional<Args> args;  // with the address "A"
    } rows[] = {
        {"bare placeholder", "prog %1", Args{"prog", "A"}},
        {"double-quoted placeholder", "prog \"%1\"", Args{"prog", "A"}},
        {"single-quoted placeholder", "prog '%1'", Args{"prog", "A"}},
        {"placeholder inside an argument", "prog --url=%1/x", Args{"prog", "--url=A/x"}},
        {"quoted Windows-style path keeps its backslashes",
         "\"C:\\Program Files\\b.exe\" -url \"%1\"", Args{"C:\\Program Files\\b.exe", "-url", "A"}},
        {"only the first placeholder", "prog %1 %1", Args{"prog", "A", "%1"}},
        {"the first placeholder may follow a percent", "prog %%1", Args{"prog", "%A"}},
        {"blanks of every kind separate", "prog \t a\n %1  ", Args{"prog", "a", "A"}},
        {"empty quoted arguments stay", "prog '' \"\" %1", Args{"prog", "", "", "A"}},
        {"quotes join with their neighbours", "prog a'b c'\"d\" %1", Args{"prog", "ab cd", "A"}},
        {"escapes inside double quotes", "prog \"\\\"\\\\\\$\\`\\x\" %1",
         Args{"prog", "\"\\$`\\x", "A"}},
        {"backslash-newline inside double quotes", "prog \"a\\\nb\" %1", Args{"prog", "ab", "A"}},
        {"single quotes keep backslashes", "prog 'a\\b' %1", Args{"prog", "a\\b", "A"}},
        {"backslash outside quotes keeps the next byte", "prog a\\ b\\' %1",
         Args{"prog", "a b'", "A"}},
        {"escaped percent still takes the address", "prog \\%1", Args{"prog", "A"}},
        {"backslash-newline outside quotes joins", "prog a\\\nb %1", Args{"prog", "ab", "A"}},
        {"trailing backslash stays", "prog %1 x\\", Args{"prog", "A", "x\\"}},
        {"shell syntax is plain text", "prog ; $(x) `y` | & > %1",
         Args{"prog", ";", "$(x)", "`y`", "|", "&", ">", "A"}},
        {"no placeholder", "prog", std::nullopt},
        {"placeholder in the program", "%1 x", std::nullopt},
        {"placeholder in a quoted program", "\"/bin/%1\" x", std::nullopt},
        {"unclosed double quote", "prog \"%1", std::nullopt},
        {"unclosed single quote", "prog %1 'x", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Args args;
        const bool ok = CommandArguments(row.command, "A", args);
        ASSERT_EQ(ok, row.args.has_value());
        if (ok) {
            EXPECT_EQ(args, *row.args);
        }
    }
}

TEST(CommandArguments, AnyAddressIsOneArgumentUnchanged) {
    const std::string hostile[] = {
        "a b", "a\"b", "a'b",     "a;b", "$(touch m)", "`touch m`",    "-rf",
        "a\\", "\\\"", "a\tb\nc", "%1",  "%%",         "\xCA\xF2\xEE", "",
    };
    const char* commands[] = {"prog %1", "prog \"%1\"", "prog '%1'", "prog --u=%1"};
    for (const char* command : commands) {
        for (const std::string& address : hostile) {
            SCOPED_TRACE(std::string(command) + " with " + address);
            Args args;
            ASSERT_TRUE(CommandArguments(command, address, args));
            ASSERT_EQ(args.size(), 2u);
            const std::string prefix =
                std::string(command).find("--u=") != std::string::npos ? "--u=" : "";
            EXPECT_EQ(args[1], prefix + address);
        }
    }
}

TEST(ExecLineToCommand, TurnsFieldCodesIntoOnePlaceholder) {
    struct Row {
        const char* label;
        const char* exec;
        std::optional<Args> args;  // of the command it gives, with the address "A"
    } rows[] = {
        {"%u", "prog %u", Args{"prog", "A"}},
        {"%U", "prog --new %U", Args{"prog", "--new", "A"}},
        {"%f", "prog %f", Args{"prog", "A"}},
        {"%F", "prog %F", Args{"prog", "A"}},
        {"quoted field code", "prog \"%u\"", Args{"prog", "A"}},
        {"field code inside an argument", "prog --url=%u", Args{"prog", "--url=A"}},
        {"%i %c %k dropped with their arguments", "prog %i %c %k %u", Args{"prog", "A"}},
        {"deprecated and unknown codes dropped", "prog %d %D %n %N %v %m %z %u", Args{"prog", "A"}},
        {"a dropped code leaves the rest of its argument", "prog --name=%c %u",
         Args{"prog", "--name=", "A"}},
        {"%% is a percent sign", "prog 100%% %u", Args{"prog", "100%", "A"}},
        {"%%1 stays the text %1", "prog %%1 %u", Args{"prog", "%1", "A"}},
        {"%%1 inside quotes stays text", "prog '-%%1-' %u", Args{"prog", "-%1-", "A"}},
        {"a percent at the end stays", "prog %u 50%", Args{"prog", "A", "50%"}},
        {"two codes: only the first takes the address", "prog %u %u", Args{"prog", "A", "%1"}},
        {"program with blanks", "\"/opt/my app/prog\" %u", Args{"/opt/my app/prog", "A"}},
        {"arguments with quotes and backslashes", "prog \"it's\" 'a\"b' \"c\\\\d\" %u",
         Args{"prog", "it's", "a\"b", "c\\d", "A"}},
        {"empty argument stays", "prog \"\" %u", Args{"prog", "", "A"}},
        {"shell syntax stays text", "prog $HOME `id` ; %u",
         Args{"prog", "$HOME", "`id`", ";", "A"}},
        {"code before the program dropped", "%i prog %u", Args{"prog", "A"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::optional<std::string> command = ExecLineToCommand(row.exec);
        ASSERT_TRUE(command.has_value());
        Args args;
        ASSERT_TRUE(CommandArguments(*command, "A", args)) << *command;
        EXPECT_EQ(args, *row.args) << *command;
    }
}

TEST(ExecLineToCommand, GivesReadableCommandsOrNothing) {
    struct Row {
        const char* exec;
        std::optional<std::string> command;
    } rows[] = {
        {"/usr/bin/browser %u", "/usr/bin/browser %1"},
        {"browser --new-window %U", "browser --new-window %1"},
        {"browser \"%u\"", "browser %1"},
        {"browser", "browser"},
        {"browser %i", "browser"},
        {"\"my browser\" %u", "'my browser' %1"},
        {"browser %%1 %u", "browser %''1 %1"},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"%i %c", std::nullopt},
        {"%u", std::nullopt},
        {"/bin/%f x", std::nullopt},
        {"browser \"%u", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("Exec=") + row.exec);
        EXPECT_EQ(ExecLineToCommand(row.exec), row.command);
    }
}

}  // namespace
