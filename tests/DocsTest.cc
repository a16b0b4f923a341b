// The README and the manual page say the same things in two places: these tests keep the facts
// they share equal to each other and to the program (the example report, the size of the
// format tag catalogue, the fixed error lines, the error numbers, the version, the packages
// the set-up script installs).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "TestUtil.h"
#include "UTypes.h"
#include "report/Cp437.h"

namespace sondrax {
namespace {

std::string Readme() { return test::ReadFile(SONDRAX_SOURCE_DIR "/README.md"); }
std::string ManPageSource() { return test::ReadFile(SONDRAX_SOURCE_DIR "/man/sondrax.1"); }

// The roff escapes the manual page uses, as text: \[uXXXX] as UTF-8, \(dq \(aq \(lq \(rq \(bu \-
// \e and "\ ", and the font changes and \& \% as nothing.
std::string Unescape(const std::string& roff) {
  static const std::pair<std::string, std::string> kEscapes[] = {
      {"\\(dq", "\""},     {"\\(aq", "'"}, {"\\(lq", "\u201C"}, {"\\(rq", "\u201D"},
      {"\\(bu", "\u2022"}, {"\\-", "-"},   {"\\e", "\\"},       {"\\&", ""},
      {"\\%", ""},         {"\\fB", ""},   {"\\fI", ""},        {"\\fP", ""},
      {"\\fR", ""},        {"\\ ", " "},
  };
  std::string text;
  std::size_t i = 0;
  while (i < roff.size()) {
    if (roff[i] != '\\') {
      text += roff[i++];
      continue;
    }
    if (roff.compare(i, 3, "\\[u") == 0) {
      const std::size_t end = roff.find(']', i);
      AppendUtf8(static_cast<char32_t>(std::stoul(roff.substr(i + 3, end - i - 3), nullptr, 16)),
                 &text);
      i = end + 1;
      continue;
    }
    bool known = false;
    for (const auto& [escape, replacement] : kEscapes) {
      if (roff.compare(i, escape.size(), escape) == 0) {
        text += replacement;
        i += escape.size();
        known = true;
        break;
      }
    }
    if (!known) {
      ADD_FAILURE() << "an escape these tests do not know: " << roff.substr(i, 8);
      return text;
    }
  }
  return text;
}

// The manual page's prose as text, roughly as it reads: the words of the font macros (.B, .IR
// ...) without their quotes, other requests as an empty line (a paragraph's end), a line that
// ends in \c joined to the next; the examples (.EX to .EE) left out.
std::string ManPageText() {
  std::istringstream source(ManPageSource());
  std::string text;
  std::string line;
  bool in_example = false;
  static const std::regex kFontMacro(R"(^\.(B|I|BR|RB|IR|RI|BI|IB) ?(.*)$)");
  static const std::regex kArgument(R"re("([^"]*)"|((?:\\ |\S)+))re");
  while (std::getline(source, line)) {
    if (line == ".EX" || line == ".EE") {
      in_example = line == ".EX";
      continue;
    }
    if (in_example) {
      continue;
    }
    std::smatch match;
    if (std::regex_match(line, match, kFontMacro)) {
      const std::string arguments = match[2];
      const bool alternating = match[1].length() == 2;
      std::string words;
      for (auto it = std::sregex_iterator(arguments.begin(), arguments.end(), kArgument);
           it != std::sregex_iterator(); ++it) {
        const std::string word = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        words += (alternating || words.empty()) ? word : " " + word;
      }
      line = words;
    } else if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
      line.clear();
    }
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\\c") == 0) {
      text += Unescape(line.substr(0, line.size() - 2));
    } else {
      text += Unescape(line) + "\n";
    }
  }
  return text;
}

// The lines of the first ``` block after `heading`.
std::string ReadmeBlockAfter(const std::string& heading) {
  const std::string readme = Readme();
  const std::size_t at = readme.find(heading);
  const std::size_t start = readme.find("```\n", at);
  const std::size_t end = readme.find("```\n", start + 4);
  if (at == std::string::npos || start == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "README.md has no ``` block after " << heading;
    return "";
  }
  return readme.substr(start + 4, end - start - 4);
}

// The lines between the first .EX and .EE after `marker`, as text.
std::string ManPageExampleAfter(const std::string& marker) {
  const std::string page = ManPageSource();
  const std::size_t at = page.find(marker);
  const std::size_t start = page.find(".EX\n", at);
  const std::size_t end = page.find(".EE\n", start);
  if (at == std::string::npos || start == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "man/sondrax.1 has no .EX block after " << marker;
    return "";
  }
  return Unescape(page.substr(start + 4, end - start - 4));
}

// Code page 437 bytes as a UTF-8 terminal shows them, with LF line ends.
std::string AsOnATerminal(const std::string& cp437) {
  std::string text;
  for (const char c : cp437) {
    if (c == '\n') {
      text += c;
    } else if (c != '\r') {
      AppendUtf8(Cp437Glyph(static_cast<unsigned char>(c)), &text);
    }
  }
  return text;
}

TEST(Documentation, ExampleReportIsWhatTheProgramShows) {
  const test::RunResult run =
      test::RunOnBytes(test::ReadFile(SONDRAX_SOURCE_DIR "/examples/example.wav"));
  ASSERT_EQ(run.Code, 0);
  const std::string shown = AsOnATerminal(run.Out);
  EXPECT_EQ(ReadmeBlockAfter("## An example report"), shown);
  EXPECT_EQ(ManPageExampleAfter("A complete report on a PCM file"), shown);
}

TEST(Documentation, CatalogueSizeIsTheTables) {
  const std::string size = std::to_string(FormatTagCount());
  EXPECT_NE(Readme().find("(" + size + " registered tags)"), std::string::npos)
      << "README.md should give the catalogue's size as (" << size << " registered tags)";
  EXPECT_NE(ManPageText().find("catalogue of " + size + " registered tags"), std::string::npos)
      << "man/sondrax.1 should give the catalogue's size as \"catalogue of " << size
      << " registered tags\"";
}

// The error lines both name, the name of the file written as "path".
std::set<std::string> ErrorLines(const std::string& text, const std::regex& line) {
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator();
       ++it) {
    std::string message = (*it)[1];
    message = std::regex_replace(message, std::regex("\"<full path>\""), "\"path\"");
    if (!message.empty()) {
      found.insert(message);
    }
  }
  return found;
}

TEST(Documentation, BothNameTheSameErrorLines) {
  // In the README each stands in backquotes; on the page it ends with a closing quote or its
  // line.
  const auto readme = ErrorLines(Readme(), std::regex(R"(`\*ERROR\*: ([^`]*)`)"));
  const auto page = ErrorLines(ManPageText(), std::regex("\\*ERROR\\*: ([^\u201D\n]*)"));
  EXPECT_EQ(readme, page);
  EXPECT_EQ(readme.size(), 9u) << "the eight texts of a bad file and the open error";
}

// The numbers in the README's section on error numbers, and in the page's paragraph on them.
std::set<int> Numbers(const std::string& text) {
  std::set<int> numbers;
  static const std::regex kNumber(R"(\b[0-9]+\b)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kNumber);
       it != std::sregex_iterator(); ++it) {
    numbers.insert(std::stoi(it->str()));
  }
  return numbers;
}

TEST(Documentation, BothListTheSameErrorNumbers) {
  const std::string readme = Readme();
  const std::size_t section = readme.find("## Error numbers on Linux");
  ASSERT_NE(section, std::string::npos);
  const std::size_t section_end = readme.find("\n## ", section + 1);
  const std::string page = ManPageText();
  const std::size_t paragraph = page.find("The numbers are the same on every system:");
  ASSERT_NE(paragraph, std::string::npos);
  const std::size_t paragraph_end = page.find("\n\n", paragraph);

  const std::set<int> numbers = Numbers(readme.substr(section, section_end - section));
  EXPECT_EQ(numbers, Numbers(page.substr(paragraph, paragraph_end - paragraph)));
  EXPECT_EQ(numbers.count(100) + numbers.count(105) + numbers.count(1000), 3u);
}

TEST(Documentation, VersionIsTheProjects) {
  const std::string readme = Readme();
  static const std::regex kPackage(R"(sondrax[-_]([0-9]+\.[0-9]+\.[0-9]+)[-_])");
  int packages = 0;
  for (auto it = std::sregex_iterator(readme.begin(), readme.end(), kPackage);
       it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[1], SONDRAX_VERSION) << it->str();
    ++packages;
  }
  EXPECT_GE(packages, 2) << "the Debian package and the Windows .zip";
  EXPECT_NE(ManPageSource().find("\"Sondrax " SONDRAX_VERSION "\""), std::string::npos);
}

#ifndef _WIN32
TEST(Documentation, PackageListsAreTheSetUpScripts) {
  // README.md names each group's packages on a line "  GROUP: PACKAGES".
  const std::string readme = Readme();
  for (const char* group : {"build", "linux", "all", "lint"}) {
    SCOPED_TRACE(group);
    const std::string command =
        std::string(SONDRAX_SOURCE_DIR "/tools/install-deps.sh --list ") + group;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[1024];
    std::string listed;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      listed += buffer;
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_NE(readme.find(std::string("\n  ") + group + ": " + listed), std::string::npos)
        << "README.md should list the group as \"  " << group << ": " << listed << "\"";
  }
}
#endif

}  // namespace
}  // namespace sondrax
