#pragma once
// The command line of both programs. Each program declares its options once,
// as a table in the order of its Cli record, and gets from here the parsing,
// the help and version texts and the command-line errors.
//
// We read the arguments strictly from left to right and act on --help and
// --version the moment they are read, so "input.mp4 --help" helps while
// "--foo --help" is refused; the common parsing libraries only look at help
// after the whole line, which is why this module is our own.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace quen {

// How a command line ends the process before the run starts: help or version
// (status 0, text for standard output) or a command-line error (status 2,
// text for standard error).
struct CommandExit {
  int exit_status = 0;
  std::string stdout_text;
  std::string stderr_text;
};

// Either the filled options record or how the process ends instead.
template <class Cli>
using ParseOutcome = std::variant<Cli, CommandExit>;

// The untyped description of one argument, shared by every Cli type.
struct PositionalSyntax {
  std::string value_name;
  std::string help;
};

struct OptionSyntax {
  char short_name = '\0';  // '\0': long form only
  std::string long_name;
  std::string value_name;  // empty for a flag
  std::string help;
  std::optional<std::string> default_text;  // converted like a given value
  bool is_flag = false;
};

template <class Cli>
struct Positional {
  std::string Cli::*field;
  PositionalSyntax syntax;
};

template <class Cli>
struct Option {
  OptionSyntax syntax;
  // Converts a value into the option's field; returns why the value is
  // refused, or nothing when it was stored.
  std::function<std::optional<std::string>(Cli&, std::string_view)> store;
};

template <class Cli>
struct CommandSpec {
  std::string name;
  std::string version;
  std::string about;
  Positional<Cli> input;
  std::vector<Option<Cli>> options;  // in the order the help shows them
};

namespace cli_detail {

// Each returns why `text` is not a value of the field's type, or nothing
// when it has been stored. Integers are decimal with an optional sign ("-"
// only for signed types) and must fit the type.
std::optional<std::string> read_value(std::string_view text, std::string& field);
std::optional<std::string> read_value(std::string_view text, std::optional<std::string>& field);
std::optional<std::string> read_value(std::string_view text, std::uint8_t& field);
std::optional<std::string> read_value(std::string_view text, std::uint32_t& field);
std::optional<std::string> read_value(std::string_view text, std::int32_t& field);

struct CommandSyntax {
  std::string_view name;
  std::string_view version;
  std::string_view about;
  PositionalSyntax input;
  std::vector<OptionSyntax> options;
};

// Where the reader puts what it accepts: the positional text, and option
// `index`'s value (empty for a flag), which may be refused with a reason.
struct ArgumentSink {
  std::function<void(std::string_view)> input;
  std::function<std::optional<std::string>(std::size_t index, std::string_view text)> option;
};

// Reads `args` (args[0] is the program path) into `sink`, then gives every
// option that was not given its default. Nothing when the line is accepted.
std::optional<CommandExit> read_arguments(const CommandSyntax& syntax, const std::vector<std::string>& args,
                                          const ArgumentSink& sink);

// Writes the texts of `exit` to their streams and ends the process.
[[noreturn]] void finish(const CommandExit& exit);

}  // namespace cli_detail

template <class Cli>
Positional<Cli> positional(std::string Cli::*field, std::string_view value_name, std::string_view help) {
  return {field, {std::string(value_name), std::string(help)}};
}

// An option that takes one value. `long_name` is written without "--".
template <class Cli, class Field>
Option<Cli> option(Field Cli::*field, char short_name, std::string_view long_name,
                   std::string_view value_name, std::string_view help,
                   std::optional<std::string_view> default_text = std::nullopt) {
  static_assert(!std::is_same_v<Field, bool>, "a bool field is a flag: declare it with quen::flag");
  OptionSyntax syntax{short_name,
                      std::string(long_name),
                      std::string(value_name),
                      std::string(help),
                      default_text ? std::optional<std::string>(*default_text) : std::nullopt,
                      false};
  return {std::move(syntax),
          [field](Cli& cli, std::string_view text) { return cli_detail::read_value(text, cli.*field); }};
}

template <class Cli, class Field>
Option<Cli> option(Field Cli::*field, std::string_view long_name, std::string_view value_name,
                   std::string_view help, std::optional<std::string_view> default_text = std::nullopt) {
  return option(field, '\0', long_name, value_name, help, default_text);
}

// An option without a value: false when absent, true when given.
template <class Cli>
Option<Cli> flag(bool Cli::*field, std::string_view long_name, std::string_view help) {
  OptionSyntax syntax{'\0', std::string(long_name), {}, std::string(help), std::nullopt, true};
  return {std::move(syntax), [field](Cli& cli, std::string_view) -> std::optional<std::string> {
            cli.*field = true;
            return std::nullopt;
          }};
}

// The testable core: parses `args` (args[0] is the program path) without
// printing anything or ending the process. Throws std::logic_error when a
// default of the table is not a valid value of its field.
template <class Cli>
ParseOutcome<Cli> parse_arguments(const CommandSpec<Cli>& spec, const std::vector<std::string>& args) {
  cli_detail::CommandSyntax syntax{spec.name, spec.version, spec.about, spec.input.syntax, {}};
  for (const auto& option : spec.options) syntax.options.push_back(option.syntax);

  Cli cli{};
  const cli_detail::ArgumentSink sink{
      [&](std::string_view text) { cli.*(spec.input.field) = std::string(text); },
      [&](std::size_t index, std::string_view text) { return spec.options[index].store(cli, text); }};
  if (auto exit = cli_detail::read_arguments(syntax, args, sink)) return *std::move(exit);
  return cli;
}

// Parses the process arguments. On help or version prints the text on
// standard output and exits with status 0; on a command-line error prints
// it on standard error and exits with status 2. Prints nothing otherwise.
template <class Cli>
Cli parse_command_line(const CommandSpec<Cli>& spec, int argc, const char* const* argv) {
  auto outcome = parse_arguments(spec, std::vector<std::string>(argv, argv + argc));
  if (const auto* exit = std::get_if<CommandExit>(&outcome)) cli_detail::finish(*exit);
  return std::get<Cli>(std::move(outcome));
}

}  // namespace quen
