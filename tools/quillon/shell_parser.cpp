#include "tools/quillon/shell_parser.h"

#include <cctype>
#include <charconv>

#include "platform/text/codepage.h"

namespace quillon {
namespace {

struct Token {
  enum class Kind { Word, String, Equals } kind;
  std::string text;
};

bool ReadString(const std::string& line, std::size_t& i, std::string& out, std::string& error) {
  ++i;  // opening quote
  while (i < line.size() && line[i] != '"') {
    char c = line[i++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i >= line.size()) break;
    char e = line[i++];
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      default: out.push_back(e); break;  // \" \\ and any other character as itself
    }
  }
  if (i >= line.size()) {
    error = "unterminated string";
    return false;
  }
  ++i;  // closing quote
  return true;
}

std::optional<std::vector<Token>> Tokenize(const std::string& line, std::string& error) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '"') {
      std::string text;
      if (!ReadString(line, i, text, error)) return std::nullopt;
      tokens.push_back({Token::Kind::String, text});
    } else if (c == '=') {
      tokens.push_back({Token::Kind::Equals, "="});
      ++i;
    } else {
      std::size_t start = i;
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '=' &&
             line[i] != '"')
        ++i;
      tokens.push_back({Token::Kind::Word, line.substr(start, i - start)});
    }
  }
  return tokens;
}

std::optional<platform::Variant> ToValue(const Token& token, std::string& error) {
  if (token.kind == Token::Kind::String) return platform::Variant::Bstr(platform::Utf8ToUtf16(token.text));
  if (token.text == "true") return platform::Variant::Bool(true);
  if (token.text == "false") return platform::Variant::Bool(false);
  std::int32_t number = 0;
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  auto [end, ec] = std::from_chars(first, last, number);
  if (ec == std::errc() && end == last) return platform::Variant::I4(number);
  error = "bad value: " + token.text;
  return std::nullopt;
}

std::optional<double> ToSeconds(const Token& token) {
  try {
    std::size_t used = 0;
    double value = std::stod(token.text, &used);
    if (used == token.text.size() && value >= 0) return value;
  } catch (...) {
  }
  return std::nullopt;
}

}  // namespace

std::optional<ShellCommand> ParseShellLine(const std::string& line, std::string& error) {
  auto tokens = Tokenize(line, error);
  if (!tokens) return std::nullopt;
  ShellCommand command;
  if (tokens->empty() || (*tokens)[0].text.starts_with("#")) return command;
  const Token& head = (*tokens)[0];
  if (head.kind != Token::Kind::Word) {
    error = "expected a member name";
    return std::nullopt;
  }
  command.name = head.text;
  if (head.text == "wait" || head.text == "pump") {
    bool wait = head.text == "wait";
    command.kind = wait ? ShellCommand::Kind::Wait : ShellCommand::Kind::Pump;
    std::size_t at = 1;
    if (wait) {
      if (tokens->size() < 2) {
        error = "wait needs an event name";
        return std::nullopt;
      }
      command.name = (*tokens)[1].text;
      at = 2;
    }
    command.seconds = wait ? 60 : 0.1;
    if (tokens->size() > at) {
      auto amount = ToSeconds((*tokens)[at]);
      if (!amount || tokens->size() > at + 1) {
        error = "bad duration";
        return std::nullopt;
      }
      command.seconds = wait ? *amount : *amount / 1000.0;
    }
    return command;
  }
  std::size_t first = 1;
  command.kind = ShellCommand::Kind::Member;
  if (tokens->size() >= 2 && (*tokens)[1].kind == Token::Kind::Equals) {
    if (tokens->size() != 3) {
      error = "a set takes exactly one value";
      return std::nullopt;
    }
    command.kind = ShellCommand::Kind::Put;
    first = 2;
  }
  for (std::size_t i = first; i < tokens->size(); ++i) {
    auto value = ToValue((*tokens)[i], error);
    if (!value) return std::nullopt;
    command.args.push_back(*value);
  }
  return command;
}

std::string FormatValue(const platform::Variant& value) {
  switch (value.Type()) {
    case platform::VarType::I2: return std::to_string(value.AsI2());
    case platform::VarType::I4: return std::to_string(value.AsI4());
    case platform::VarType::BOOL: return value.AsBool() ? "true" : "false";
    case platform::VarType::BSTR: {
      std::string out = "\"";
      for (char c : platform::Utf16ToUtf8(value.AsBstr())) {
        if (c == '"' || c == '\\') {
          out.push_back('\\');
          out.push_back(c);
        } else if (c == '\n') {
          out += "\\n";
        } else {
          out.push_back(c);
        }
      }
      return out + "\"";
    }
    default: return "";
  }
}

}  // namespace quillon
