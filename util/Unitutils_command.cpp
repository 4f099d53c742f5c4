#include "util/Unitutils_command.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Where one byte of the split text ended up, found while splitting; `word` stays npos when the
// byte was quoting syntax rather than kept text.
struct TMark {
    std::size_t at = npos;
    std::size_t word = npos;
    std::size_t offset = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool EscapableInDoubleQuotes(char c) {
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

bool SplitWords(std::string_view text, std::vector<std::string>& words, TMark& mark) {
    words.clear();
    std::string word;
    bool inWord = false;
    auto keep = [&](std::size_t i) {
        if (i == mark.at) {
            mark.word = words.size();
            mark.offset = word.size();
        }
        word.push_back(text[i]);
        inWord = true;
    };
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (IsBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
        } else if (c == '\'') {
            const std::size_t close = text.find('\'', i + 1);
            if (close == npos) {
                return false;
            }
            inWord = true;
            for (std::size_t j = i + 1; j < close; ++j) {
                keep(j);
            }
            i = close + 1;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= n) {
                    return false;
                }
                if (text[i] == '"') {
                    ++i;
                    break;
                }
                if (text[i] == '\\' && i + 1 < n && EscapableInDoubleQuotes(text[i + 1])) {
                    ++i;
                    if (text[i] != '\n') {
                        keep(i);
                    }
                } else {
                    keep(i);
                }
            }
        } else if (c == '\\' && i + 1 < n) {
            if (text[i + 1] != '\n') {
                keep(i + 1);
            }
            i += 2;
        } else {
            keep(i);
            ++i;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return true;
}

// Writes literal text so that SplitWords gives it back unchanged and it never reads as "%1".
void AppendQuoted(std::string& out, std::string_view literal) {
    bool plain = true;
    for (char c : literal) {
        if (IsBlank(c) || c == '\'' || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    std::string written;
    if (!plain) {
        written += '\'';
    }
    for (char c : literal) {
        if (c == '\'') {
            written += "'\\''";
        } else if (c == '1' && !written.empty() && written.back() == '%') {
            // An empty quoted pair between the two bytes splits to nothing.
            written += "''1";
        } else {
            written += c;
        }
    }
    if (!plain) {
        written += '\'';
    }
    out += written;
}

bool TakesTheAddress(char code) {
    return code == 'u' || code == 'U' || code == 'f' || code == 'F';
}

}  // namespace

bool CommandArguments(std::string_view command, std::string_view address,
                      std::vector<std::string>& args) {
    TMark mark;
    mark.at = command.find(kCommandPlaceholder);
    if (mark.at == npos || !SplitWords(command, args, mark) || args.empty() || mark.word == 0 ||
        mark.word == npos) {
        return false;
    }
    args[mark.word].replace(mark.offset, 2, address);
    return true;
}

std::optional<std::string> ExecLineToCommand(std::string_view execLine) {
    std::vector<std::string> words;
    TMark none;
    if (!SplitWords(execLine, words, none)) {
        return std::nullopt;
    }
    std::string command;
    for (const std::string& word : words) {
        std::string written;
        std::string literal;
        bool hasText = false;
        bool dropped = false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 == word.size()) {
                literal += word[i];
                hasText = true;
                continue;
            }
            const char code = word[++i];
            if (code == '%') {
                literal += '%';
                hasText = true;
            } else if (TakesTheAddress(code)) {
                AppendQuoted(written, literal);
                literal.clear();
                written += kCommandPlaceholder;
                hasText = true;
                if (command.empty()) {
                    return std::nullopt;
                }
            } else {
                dropped = true;
            }
        }
        if (!hasText && dropped) {
            continue;
        }
        if (literal.empty() && written.empty()) {
            written = "''";
        } else {
            AppendQuoted(written, literal);
        }
        if (!command.empty()) {
            command += ' ';
        }
        command += written;
    }
    if (command.empty()) {
        return std::nullopt;
    }
    return command;
}
