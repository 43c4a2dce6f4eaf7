// quillon_docgen: writes the manual pages of quillon and quillonburner and
// the bash completion of quillon from the texts the programs' --help prints,
// so the three cannot say something the programs do not.
//
//   quillon_docgen quillon.1 FILE | quillonburner.1 FILE | completion FILE

#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_text.h"
#include "tools/quillon/help.h"

namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trim(std::string_view text) {
  const auto begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, text.find_last_not_of(' ') - begin + 1));
}

// Text as roff prints it: backslashes and minus signs escaped, no line
// taken for a request.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// The usage with its continuation lines joined.
std::string OneLine(std::string_view usage) {
  std::string out;
  for (const std::string& line : Lines(usage)) {
    if (!out.empty()) out += ' ';
    out += Trim(line);
  }
  return out;
}

// A help text's blocks (separated by blank lines) in roff: "Options:" and
// "Examples:" headings in italics, option lines ("  --name VALUE   what it
// does", continued below its text) as tagged paragraphs, other indented lines
// (examples) as they are, the rest as filled paragraphs.
std::string BodyToRoff(std::string_view body) {
  std::string out;
  enum class State { Text, Option, Verbatim } state = State::Text;
  auto endVerbatim = [&] {
    if (state == State::Verbatim) out += ".fi\n.RE\n";
    state = State::Text;
  };
  bool inParagraph = false;
  for (const std::string& line : Lines(body)) {
    const std::string text = Trim(line);
    if (text.empty()) {
      endVerbatim();
      inParagraph = false;
    } else if (!line.starts_with("  ")) {
      endVerbatim();
      const bool heading = line.ends_with(':');
      if (heading || !inParagraph) out += ".PP\n";
      out += heading ? "\\fI" + Roff(line) + "\\fR\n" : Roff(line) + '\n';
      inParagraph = !heading;
    } else if (text.starts_with("-")) {
      endVerbatim();
      const auto gap = text.find("  ");
      out += ".TP\n\\fB" + Roff(text.substr(0, gap)) + "\\fR\n";
      if (gap != std::string::npos) out += Roff(Trim(text.substr(gap))) + '\n';
      state = State::Option;
    } else if (state == State::Option) {
      out += Roff(text) + '\n';  // the option's text, continued
    } else {
      if (state != State::Verbatim) out += ".RS\n.nf\n";
      state = State::Verbatim;
      out += Roff(text) + '\n';
    }
  }
  endVerbatim();
  return out;
}

std::string Header(std::string_view name, std::string_view summary) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ".TH " + upper + " 1 \"\" \"Quillon Burner " QUILLON_VERSION "\" \"User Commands\"\n.SH NAME\n" +
         std::string(name) + " \\- " + Roff(summary) + '\n';
}

std::string QuillonPage() {
  std::string page = Header("quillon", quillon::Summary());
  page += ".SH SYNOPSIS\n";
  for (const quillon::CommandText& command : quillon::Commands())
    page += "\\fBquillon\\fR " + Roff(OneLine(command.usage)) + "\n.br\n";
  page += "\\fBquillon help\\fR [COMMAND]\n";
  page += ".SH DESCRIPTION\n.B quillon\nhosts the burn engine of Quillon Burner on the command line: " +
          Roff(quillon::Summary()) +
          ".\n\\fBquillon \\-\\-help\\fR lists the commands; \\fBquillon help\\fR \\fICOMMAND\\fR or \\fBquillon\\fR "
          "\\fICOMMAND\\fR \\fB\\-\\-help\\fR describes one, with its options and examples, as below.\n.PP\n" +
          Roff(OneLine(quillon::JsonNote())) + '\n';
  page += ".SH COMMANDS\n";
  for (const quillon::CommandText& command : quillon::Commands()) {
    page += ".SS \"quillon " + Roff(OneLine(command.usage)) + "\"\n";
    page += BodyToRoff(command.body);
  }
  page += ".SH \"EXIT STATUS\"\n";
  for (const std::string& line : Lines(quillon::ExitCodes())) {
    if (!line.starts_with("  ")) continue;
    const std::string entry = Trim(line);
    const auto gap = entry.find(' ');
    page += ".TP\n.B " + entry.substr(0, gap) + '\n' + Roff(Trim(entry.substr(gap))) + '\n';
  }
  page += ".SH EXAMPLES\n.nf\n";
  for (const std::string& line : Lines(quillon::GeneralExamples())) page += Roff(Trim(line)) + '\n';
  page += ".fi\n";
  page += ".SH ENVIRONMENT\n"
          ".TP\n.B QUILLON_DEBUG\n1 shows the engine's debug channel on standard error.\n"
          ".TP\n.B WNASPI32_VIRTUAL_WRITERS\nThe virtual writers: MEDIUM=DIRECTORY items separated by ';' (unset: one "
          "virtual CD\\-RW when the machine has no optical drive; empty: none).\n"
          ".TP\n.B WNASPI32_REAL_DRIVES\n0 leaves the machine's drives out.\n"
          ".SH FILES\n"
          ".TP\n.I ${XDG_DATA_HOME:\\-~/.local/share}/quillon/registry\nThe registration of the engine control.\n";
  page += ".SH \"SEE ALSO\"\n.BR quillonburner (1)\n";
  return page;
}

std::string QuillonburnerPage() {
  std::string page = Header("quillonburner", "burn files and folders onto CD and DVD discs");
  page += ".SH SYNOPSIS\n\\fBquillonburner\\fR [\\fIOPTIONS\\fR] " + Roff(quillonburner_text::kPathSyntax) + '\n';
  page += ".SH DESCRIPTION\n" + Roff(quillonburner_text::kDescription) + '\n';
  page += ".SH ARGUMENTS\n.TP\n.I " + Roff(quillonburner_text::kPathName) + '\n' +
          Roff(quillonburner_text::kPathHelp) + '\n';
  // The options every Qt program's parser adds with its help and version.
  page += ".SH OPTIONS\n"
          ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nDisplays help on command line options.\n"
          ".TP\n\\fB\\-\\-help\\-all\\fR\nDisplays help, including generic Qt options.\n"
          ".TP\n\\fB\\-v\\fR, \\fB\\-\\-version\\fR\nDisplays version information.\n";
  page += ".TP\n\\fB\\-\\-" + Roff(quillonburner_text::kBurnImageOption) + "\\fR \\fI" +
          Roff(quillonburner_text::kBurnImageValue) + "\\fR\n" + Roff(quillonburner_text::kBurnImageHelp) + '\n';
  page += ".SH FILES\n.TP\n.I ${XDG_CONFIG_HOME:\\-~/.config}/quillon/quillonburner.conf\n"
          "The writer, the disc type, Multi Session, the label and the window's size, kept per user.\n";
  page += ".SH \"SEE ALSO\"\n.BR quillon (1)\n";
  return page;
}

// What a command's usage says it takes: its options (those followed by a
// capitalised word take a value) and whether it takes operands.
struct Grammar {
  std::vector<std::string> flags;
  std::vector<std::string> valued;
  bool operands = false;
};

Grammar GrammarOf(std::string_view usage) {
  Grammar grammar;
  std::istringstream words{OneLine(usage)};
  std::vector<std::string> tokens;
  for (std::string word; words >> word;) {
    std::string bare;
    for (char c : word) {
      if (c != '[' && c != ']' && c != '.') bare += c;
    }
    tokens.push_back(bare);
  }
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const bool capital = !token.empty() && std::isupper(static_cast<unsigned char>(token[0]));
    if (token.starts_with("--")) {
      const bool valued = i + 1 < tokens.size() && !tokens[i + 1].empty() &&
                          std::isupper(static_cast<unsigned char>(tokens[i + 1][0])) &&
                          usage.find(token + " " + tokens[i + 1]) != std::string_view::npos;
      (valued ? grammar.valued : grammar.flags).push_back(token);
      if (valued) ++i;
    } else if (capital) {
      grammar.operands = true;
    }
  }
  return grammar;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string Completion() {
  std::string commands;
  std::string cases;
  for (const quillon::CommandText& command : quillon::Commands()) {
    const std::string name(command.name);
    commands += name + ' ';
    const Grammar grammar = GrammarOf(command.usage);
    std::vector<std::string> options = grammar.flags;
    options.insert(options.end(), grammar.valued.begin(), grammar.valued.end());
    // The burner commands report through quillon's event sink: --json.
    if (std::string_view(" writers info burn erase format close eject ").find(" " + name + " ") !=
        std::string_view::npos)
      options.push_back("--json");
    options.push_back("--help");
    cases += "    " + name + ")\n      options=\"" + Joined(options) + "\" valued=\"" + Joined(grammar.valued) +
             "\" operands=" + (grammar.operands ? "1" : "0") + " ;;\n";
  }
  return "# bash completion for quillon, generated from its help texts.\n"
         "\n"
         "# The writer numbers: one a line of 'quillon writers', from 0.\n"
         "_quillon_writers() {\n"
         "  local count\n"
         "  count=$(\"${1:-quillon}\" writers 2>/dev/null | wc -l) || return\n"
         "  ((count > 0)) && seq 0 $((count - 1))\n"
         "}\n"
         "\n"
         "_quillon() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
         "  local commands=\"" + commands + "help\"\n"
         "  COMPREPLY=()\n"
         "  if ((COMP_CWORD == 1)); then\n"
         "    mapfile -t COMPREPLY < <(compgen -W \"$commands --help --json\" -- \"$cur\")\n"
         "    return\n"
         "  fi\n"
         "  local options='' valued='' operands=0\n"
         "  case ${COMP_WORDS[1]} in\n" + cases +
         "    help)\n"
         "      mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\")\n"
         "      return ;;\n"
         "    *) return ;;\n"
         "  esac\n"
         "  if [[ \" $valued \" == *\" $prev \"* ]]; then\n"
         "    [[ $prev == --writer ]] &&\n"
         "      mapfile -t COMPREPLY < <(compgen -W \"$(_quillon_writers \"${COMP_WORDS[0]}\")\" -- \"$cur\")\n"
         "    return\n"
         "  fi\n"
         "  if [[ $cur == -* || $operands == 0 ]]; then\n"
         "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
         "  else\n"
         "    compopt -o filenames 2>/dev/null\n"
         "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
         "  fi\n"
         "}\n"
         "complete -F _quillon quillon\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: quillon_docgen quillon.1|quillonburner.1|completion FILE\n";
    return 2;
  }
  const std::string what = argv[1];
  std::string text;
  if (what == "quillon.1") {
    text = QuillonPage();
  } else if (what == "quillonburner.1") {
    text = QuillonburnerPage();
  } else if (what == "completion") {
    text = Completion();
  } else {
    std::cerr << "quillon_docgen: unknown output '" << what << "'\n";
    return 2;
  }
  std::ofstream out(argv[2]);
  out << text;
  return out.good() ? 0 : 1;
}
