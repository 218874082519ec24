#include "cli.hpp"

#include "input_stem.hpp"
#include "utf8.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <utility>

namespace quen::cli_detail {

namespace {

template <class Int>
std::optional<std::string> read_integer(std::string_view text, Int& field) {
  if (text.empty()) return "cannot parse integer from empty string";
  const bool negative = std::is_signed_v<Int> && text.starts_with('-');
  const auto digits = negative || text.starts_with('+') ? text.substr(1) : text;
  const bool decimal = !digits.empty() &&
                       std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!decimal) return "invalid digit found in string";

  // from_chars takes a "-" but no "+".
  const auto number = negative ? text : digits;
  Int value{};
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    return negative ? "number too small to fit in target type" : "number too large to fit in target type";
  }
  field = value;
  return std::nullopt;
}

// A command-line error; its message follows "error: " in the report.
class ArgumentError : public std::runtime_error {
 public:
  explicit ArgumentError(const std::string& message) : std::runtime_error(message) {}
};

// An argument that the reader takes for an option; a lone "-" is not one,
// so it can name standard input as a value or the input.
bool looks_like_option(std::string_view arg) {
  return arg.size() > 1 && arg.front() == '-';
}

// How an option is named in messages: "--agg <AGG>", "--show-cmd".
std::string option_display(const OptionSyntax& option) {
  if (option.is_flag) return fmt::format("--{}", option.long_name);
  return fmt::format("--{} <{}>", option.long_name, option.value_name);
}

std::string program_name(const std::vector<std::string>& args, std::string_view command) {
  if (args.empty()) return std::string(command);
  const auto name = last_path_component(args.front());
  if (!name || !is_valid_utf8(*name)) return std::string(command);
  return std::string(*name);
}

std::string help_text(const CommandSyntax& syntax, std::string_view program) {
  struct Row {
    std::string left;
    std::string help;
  };
  std::vector<Row> arguments{{fmt::format("<{}>", syntax.input.value_name), syntax.input.help}};
  std::vector<Row> options;
  for (const auto& option : syntax.options) {
    const auto short_form = option.short_name ? fmt::format("-{}, ", option.short_name) : std::string(4, ' ');
    const auto value = option.is_flag ? std::string() : fmt::format(" <{}>", option.value_name);
    const auto default_note = option.default_text && !option.is_flag
                                  ? fmt::format(" [default: {}]", *option.default_text)
                                  : std::string();
    options.push_back(
        {fmt::format("{}--{}{}", short_form, option.long_name, value), option.help + default_note});
  }
  options.push_back({"-h, --help", "Print help"});
  options.push_back({"-V, --version", "Print version"});

  std::size_t width = 0;
  for (const auto& row : arguments) width = std::max(width, row.left.size());
  for (const auto& row : options) width = std::max(width, row.left.size());
  const auto rows = [width](const std::vector<Row>& section) {
    std::string out;
    for (const auto& row : section) out += fmt::format("  {:<{}}  {}\n", row.left, width, row.help);
    return out;
  };
  return fmt::format("{}\n\nUsage: {} [OPTIONS] <{}>\n\nArguments:\n{}\nOptions:\n{}", syntax.about, program,
                     syntax.input.value_name, rows(arguments), rows(options));
}

// Reads the arguments from left to right, acting on help and version as
// soon as they are read; every error throws ArgumentError.
class LineReader {
 public:
  LineReader(const CommandSyntax& syntax, const std::vector<std::string>& args, const ArgumentSink& sink,
             std::string_view program)
      : syntax_(syntax), args_(args), sink_(sink), program_(program), given_(syntax.options.size(), false) {}

  std::optional<CommandExit> read() {
    while (next_ < args_.size()) {
      const std::string_view arg = take_argument();
      if (auto exit = read_argument(arg)) return exit;
    }
    // Only now, so that help or version anywhere on the line still works.
    if (!input_given_) {
      throw ArgumentError(fmt::format("the following required arguments were not provided:\n  <{}>",
                                      syntax_.input.value_name));
    }
    store_defaults();
    return std::nullopt;
  }

 private:
  std::string_view take_argument() {
    const std::string& arg = args_[next_++];
    if (!is_valid_utf8(arg)) {
      throw ArgumentError(fmt::format("invalid UTF-8 was detected in argument '{}'", to_valid_utf8(arg)));
    }
    return arg;
  }

  std::optional<CommandExit> read_argument(std::string_view arg) {
    if (options_ended_ || !looks_like_option(arg)) {
      read_positional(arg);
    } else if (arg == "--") {
      options_ended_ = true;
    } else if (arg.starts_with("--")) {
      return read_long(arg);
    } else {
      return read_short(arg);
    }
    return std::nullopt;
  }

  void read_positional(std::string_view arg) {
    if (input_given_) throw unexpected_argument(arg);
    sink_.input(arg);
    input_given_ = true;
  }

  std::optional<CommandExit> read_long(std::string_view arg) {
    const auto body = arg.substr(2);
    const auto equals = body.find('=');
    const auto name = body.substr(0, equals);
    std::optional<std::string_view> joined;
    if (equals != std::string_view::npos) joined = body.substr(equals + 1);

    if (name == "help" || name == "version") {
      if (joined) throw unexpected_value(*joined, fmt::format("--{}", name));
      return name == "help" ? help() : version();
    }
    const auto index = find_long(name);
    if (!index) throw unexpected_argument(arg);
    read_option(*index, joined);
    return std::nullopt;
  }

  // "-o FILE", "-oFILE" and "-o=FILE" all give FILE.
  std::optional<CommandExit> read_short(std::string_view arg) {
    if (arg == "-h") return help();
    if (arg == "-V") return version();
    const auto index = find_short(arg[1]);
    if (!index) throw unexpected_argument(arg);
    auto rest = arg.substr(2);
    std::optional<std::string_view> joined;
    if (!rest.empty()) joined = rest.starts_with('=') ? rest.substr(1) : rest;
    read_option(*index, joined);
    return std::nullopt;
  }

  void read_option(std::size_t index, std::optional<std::string_view> joined) {
    const auto& option = syntax_.options[index];
    if (given_[index]) {
      throw ArgumentError(
          fmt::format("the argument '{}' cannot be used multiple times", option_display(option)));
    }
    given_[index] = true;
    if (option.is_flag) {
      if (joined) throw unexpected_value(*joined, option_display(option));
      sink_.option(index, {});
      return;
    }
    const auto value = joined ? *joined : take_value(option);
    if (const auto why = sink_.option(index, value)) {
      throw ArgumentError(
          fmt::format("invalid value '{}' for '{}': {}", value, option_display(option), *why));
    }
  }

  // A separate value must not look like an option: "--qp-range -10" reads
  // "-10" as an option, which is refused; "--qp-range=-10" is the way.
  std::string_view take_value(const OptionSyntax& option) {
    if (next_ < args_.size() && !is_known_option(args_[next_])) {
      const auto value = take_argument();
      if (looks_like_option(value)) throw unexpected_argument(value);
      return value;
    }
    throw ArgumentError(
        fmt::format("a value is required for '{}' but none was supplied", option_display(option)));
  }

  bool is_known_option(std::string_view arg) const {
    if (!looks_like_option(arg)) return false;
    if (arg == "--" || arg == "-h" || arg == "-V") return true;
    if (!arg.starts_with("--")) return find_short(arg[1]).has_value();
    const auto name = arg.substr(2, arg.find('=') - 2);
    return name == "help" || name == "version" || find_long(name).has_value();
  }

  std::optional<std::size_t> find_long(std::string_view name) const {
    for (std::size_t i = 0; i < syntax_.options.size(); ++i) {
      if (syntax_.options[i].long_name == name) return i;
    }
    return std::nullopt;
  }

  std::optional<std::size_t> find_short(char letter) const {
    for (std::size_t i = 0; i < syntax_.options.size(); ++i) {
      if (syntax_.options[i].short_name != '\0' && syntax_.options[i].short_name == letter) return i;
    }
    return std::nullopt;
  }

  void store_defaults() {
    for (std::size_t i = 0; i < syntax_.options.size(); ++i) {
      const auto& option = syntax_.options[i];
      if (given_[i] || option.is_flag || !option.default_text) continue;
      if (const auto why = sink_.option(i, *option.default_text)) {
        throw std::logic_error(fmt::format("default '{}' of '{}' is refused: {}", *option.default_text,
                                           option_display(option), *why));
      }
    }
  }

  CommandExit help() const { return {0, help_text(syntax_, program_), {}}; }
  CommandExit version() const { return {0, fmt::format("{} {}\n", syntax_.name, syntax_.version), {}}; }

  static ArgumentError unexpected_argument(std::string_view arg) {
    return ArgumentError(fmt::format("unexpected argument '{}' found", arg));
  }

  static ArgumentError unexpected_value(std::string_view value, std::string_view option) {
    return ArgumentError(
        fmt::format("unexpected value '{}' for '{}' found; no more were expected", value, option));
  }

  const CommandSyntax& syntax_;
  const std::vector<std::string>& args_;
  const ArgumentSink& sink_;
  std::string_view program_;
  std::size_t next_ = 1;  // args_[0] is the program path
  bool options_ended_ = false;
  bool input_given_ = false;
  std::vector<bool> given_;
};

}  // namespace

std::optional<std::string> read_value(std::string_view text, std::string& field) {
  field = std::string(text);
  return std::nullopt;
}

std::optional<std::string> read_value(std::string_view text, std::optional<std::string>& field) {
  field = std::string(text);
  return std::nullopt;
}

std::optional<std::string> read_value(std::string_view text, std::uint8_t& field) {
  return read_integer(text, field);
}

std::optional<std::string> read_value(std::string_view text, std::uint32_t& field) {
  return read_integer(text, field);
}

std::optional<std::string> read_value(std::string_view text, std::int32_t& field) {
  return read_integer(text, field);
}

std::optional<CommandExit> read_arguments(const CommandSyntax& syntax, const std::vector<std::string>& args,
                                          const ArgumentSink& sink) {
  const auto program = program_name(args, syntax.name);
  try {
    return LineReader(syntax, args, sink, program).read();
  } catch (const ArgumentError& error) {
    return CommandExit{
        2,
        {},
        fmt::format("error: {}\n\nUsage: {} [OPTIONS] <{}>\n\nFor more information, try '--help'.\n",
                    error.what(), program, syntax.input.value_name)};
  }
}

void finish(const CommandExit& exit) {
  // A help text that cannot be written (standard output closed) does not
  // change the status the user asked for.
  try {
    if (!exit.stdout_text.empty()) fmt::print(stdout, "{}", exit.stdout_text);
    if (!exit.stderr_text.empty()) fmt::print(stderr, "{}", exit.stderr_text);
  } catch (...) {
  }
  std::exit(exit.exit_status);
}

}  // namespace quen::cli_detail
