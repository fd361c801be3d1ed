// kelo-finder: the Kelo menu of the file manager on the command line, for scripts, tests and
// the file managers whose menus are static files that call it.

#include "FinderSync.h"
#include "LogLine.h"
#include "SelectionController.h"
#include "SystemLog.h"
#include "Term.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exitFailedFiles = 1;
constexpr int exitUsage = 2;

const char *disabledMark(kelo::Language language) {
    return language == kelo::Language::dutch ? "(uit)" : "(off)";
}

// The help, with the menu's entries in the language the menu speaks.
std::string helpText(kelo::Language language) {
    std::string terms;
    for (const kelo::Term term : kelo::allTerms)
        terms += (terms.empty() ? "  " : "      ") + std::to_string(static_cast<int>(term)) + "  " +
                 std::string(kelo::label(term, language));
    return std::string(R"help(Usage:
  kelo-finder menu [--kind items|container|sidebar|toolbar] [--] FILE...
  kelo-finder pick TAG [--] FILE...
  kelo-finder --help

Gives files a best-before date, as the Kelo menu of the file manager does.

  menu   Prints the menu the file manager gets for these files: one entry a line, indented by
         depth, with each entry's tag; "---" is a separator, ")help") +
           disabledMark(language) + R"help(" marks a disabled entry.
         The entries speak the language of LANGUAGE, LC_ALL, LC_MESSAGES or LANG: Dutch or
         English. --kind picks the menu: items (the default) is the menu for selected files.
  pick   Runs the menu entry with tag TAG on every FILE, in the order given:
         )help" +
           terms + "\n          -1  " + std::string(kelo::keepForeverLabel(language)) +
           R"help( (takes the stamp away)
         A symbolic link is not followed: it fails, and the file it points to must be named.

Put "--" before file names that start with "-".

Exit status: 0 when every file was handled, 1 when any file could not be updated (each one is
also written to the system log and to standard error), 2 for a usage error.
)help";
}

int usageError(const std::string &message) {
    std::cerr << "kelo-finder: " << message << "\nTry 'kelo-finder --help'.\n";
    return exitUsage;
}

std::optional<kelo::MenuKind> menuKind(std::string_view name) {
    if (name == "items")
        return kelo::MenuKind::contextualMenuForItems;
    if (name == "container")
        return kelo::MenuKind::contextualMenuForContainer;
    if (name == "sidebar")
        return kelo::MenuKind::contextualMenuForSidebar;
    if (name == "toolbar")
        return kelo::MenuKind::toolbarItemMenu;
    return std::nullopt;
}

// Only a number written the one way it is printed: "-0" and "01" are no tags.
std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || std::to_string(value) != text)
        return std::nullopt;
    return value;
}

void printMenu(const kelo::Menu &menu, int depth, kelo::Language language) {
    const std::string indent(static_cast<size_t>(depth) * 4, ' ');
    for (const auto &item : menu.items) {
        if (item.separator) {
            std::cout << indent << "---\n";
            continue;
        }
        std::cout << indent << item.title << "  [tag " << item.tag << "]"
                  << (item.enabled ? "" : std::string(" ") + disabledMark(language)) << '\n';
        if (item.submenu)
            printMenu(*item.submenu, depth + 1, language);
    }
}

void logFailure(std::string_view line) {
    kelo::writeSystemLog(line);
    std::cerr << kelo::escapedLogLine(line) << '\n';
}

int run(int argc, char **argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("missing command");
    if (args.front() == "--help" || args.front() == "-h") {
        std::cout << helpText(kelo::messageLanguage());
        return 0;
    }
    const std::string_view command = args.front();
    args.erase(args.begin());

    std::optional<int> tag;
    kelo::MenuKind kind = kelo::MenuKind::contextualMenuForItems;
    if (command == "pick") {
        if (args.empty())
            return usageError("pick needs a tag");
        tag = number(args.front());
        if (!tag)
            return usageError("the tag '" + std::string(args.front()) + "' is not a number");
        if (*tag < -1 || *tag > 3)
            return usageError("no menu entry has the tag " + std::to_string(*tag));
        args.erase(args.begin());
    } else if (command != "menu") {
        return usageError("unknown command '" + std::string(command) + "'");
    }

    std::vector<std::string> names;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsDone || arg.empty() || arg.front() != '-' || arg == "-") {
            names.emplace_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--kind" && command == "menu") {
            if (i + 1 == args.size())
                return usageError("the option '--kind' needs a value");
            const auto parsed = menuKind(args[++i]);
            if (!parsed)
                return usageError("unknown menu kind '" + std::string(args[i]) + "'");
            kind = *parsed;
        } else {
            return usageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (names.empty())
        return usageError("no files given");

    kelo::SelectionController controller;
    kelo::FinderSync finderSync(controller, logFailure);
    // Relative names stay relative: made absolute, a name deep enough below the working folder
    // would be longer than any system call takes.
    controller.select(std::vector<std::filesystem::path>(names.begin(), names.end()));

    if (command == "menu") {
        printMenu(finderSync.menuForMenuKind(kind), 0, kelo::messageLanguage());
        return 0;
    }
    kelo::MenuItem sender;
    sender.action = kelo::MenuAction::pick;
    sender.tag = *tag;
    return finderSync.pick(sender) == 0 ? 0 : exitFailedFiles;
}

} // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &exception) {
        std::cerr << "kelo-finder: " << exception.what() << '\n';
        return exitFailedFiles;
    }
}
