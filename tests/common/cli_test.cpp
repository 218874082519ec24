#include "common/cli.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace {

// Both programs' kinds of fields in one record.
struct TestCli {
  std::string input;
  std::optional<std::string> output;
  std::string agg;
  std::uint8_t segments = 0;
  std::int32_t qp_range = 0;
  std::uint32_t crf = 0;
  bool show_cmd = false;
  bool invert_sign = false;
  std::string diagnostic;
  std::int32_t diag_value = 0;
};

const quen::CommandSpec<TestCli> spec{
    .name = "zantolo-svtav1-roi",
    .version = "0.3.2",
    .about = "Generate SVT-AV1 --roi-map-file from QuenMAP analysis (Phase 0 PoC)",
    .input = quen::positional(&TestCli::input, "INPUT", "Input video"),
    .options = {
        quen::option(&TestCli::output, 'o', "output", "OUTPUT", "Output ROI map file (text)"),
        quen::option(&TestCli::agg, "agg", "AGG", "Aggregation method", "min"),
        quen::option(&TestCli::segments, "segments", "SEGMENTS", "Number of QP offset segments", "5"),
        quen::option(&TestCli::qp_range, "qp-range", "QP_RANGE", "QP offset range", "20"),
        quen::option(&TestCli::crf, "crf", "CRF", "SVT-AV1 CRF", "32"),
        quen::flag(&TestCli::show_cmd, "show-cmd", "Print the encode command"),
        quen::flag(&TestCli::invert_sign, "invert-sign", "Invert QP offset sign"),
        quen::option(&TestCli::diagnostic, "diagnostic", "DIAGNOSTIC", "Say \"zero\" for all 0", "off"),
        quen::option(&TestCli::diag_value, "diag-value", "DIAG_VALUE", "Constant QP offset", "2"),
    }};

const std::string expected_help =
    "Generate SVT-AV1 --roi-map-file from QuenMAP analysis (Phase 0 PoC)\n"
    "\n"
    "Usage: mapgen [OPTIONS] <INPUT>\n"
    "\n"
    "Arguments:\n"
    "  <INPUT>                        Input video\n"
    "\n"
    "Options:\n"
    "  -o, --output <OUTPUT>          Output ROI map file (text)\n"
    "      --agg <AGG>                Aggregation method [default: min]\n"
    "      --segments <SEGMENTS>      Number of QP offset segments [default: 5]\n"
    "      --qp-range <QP_RANGE>      QP offset range [default: 20]\n"
    "      --crf <CRF>                SVT-AV1 CRF [default: 32]\n"
    "      --show-cmd                 Print the encode command\n"
    "      --invert-sign              Invert QP offset sign\n"
    "      --diagnostic <DIAGNOSTIC>  Say \"zero\" for all 0 [default: off]\n"
    "      --diag-value <DIAG_VALUE>  Constant QP offset [default: 2]\n"
    "  -h, --help                     Print help\n"
    "  -V, --version                  Print version\n";

quen::ParseOutcome<TestCli> parse(std::vector<std::string> args,
                                  std::string program = "/usr/local/bin/mapgen") {
  args.insert(args.begin(), std::move(program));
  return quen::parse_arguments(spec, args);
}

TestCli accepted(const std::vector<std::string>& args) {
  auto outcome = parse(args);
  if (const auto* exit = std::get_if<quen::CommandExit>(&outcome)) {
    ADD_FAILURE() << "refused with status " << exit->exit_status << ":\n"
                  << exit->stderr_text << exit->stdout_text;
    return {};
  }
  return std::get<TestCli>(std::move(outcome));
}

quen::CommandExit ended(const std::vector<std::string>& args, std::string program = "/usr/local/bin/mapgen") {
  auto outcome = parse(args, std::move(program));
  if (std::holds_alternative<TestCli>(outcome)) {
    ADD_FAILURE() << "accepted";
    return {-1, {}, {}};
  }
  return std::get<quen::CommandExit>(std::move(outcome));
}

std::string error_text(const std::string& message, const std::string& program = "mapgen") {
  return "error: " + message + "\n\nUsage: " + program +
         " [OPTIONS] <INPUT>\n\nFor more information, try '--help'.\n";
}

void expect_error(const std::vector<std::string>& args, const std::string& message) {
  const auto exit = ended(args);
  EXPECT_EQ(exit.exit_status, 2);
  EXPECT_EQ(exit.stdout_text, "");
  EXPECT_EQ(exit.stderr_text, error_text(message));
}

void expect_help(const std::vector<std::string>& args) {
  const auto exit = ended(args);
  EXPECT_EQ(exit.exit_status, 0);
  EXPECT_EQ(exit.stdout_text, expected_help);
  EXPECT_EQ(exit.stderr_text, "");
}

TEST(Cli, DefaultsAreConvertedAndOutputStaysAbsent) {
  const auto cli = accepted({"in.mp4"});
  EXPECT_EQ(cli.input, "in.mp4");
  EXPECT_EQ(cli.output, std::nullopt);
  EXPECT_EQ(cli.agg, "min");
  EXPECT_EQ(cli.segments, 5);
  EXPECT_EQ(cli.qp_range, 20);
  EXPECT_EQ(cli.crf, 32u);
  EXPECT_FALSE(cli.show_cmd);
  EXPECT_FALSE(cli.invert_sign);
  EXPECT_EQ(cli.diagnostic, "off");
  EXPECT_EQ(cli.diag_value, 2);
}

TEST(Cli, EveryFieldTakesAGivenValueWithTheInputAnywhere) {
  const auto cli =
      accepted({"-o", "out.txt", "--agg", "median", "--segments", "8", "clip.mov", "--qp-range=-10", "--crf",
                "70", "--show-cmd", "--invert-sign", "--diagnostic", "const-pos", "--diag-value=-3"});
  EXPECT_EQ(cli.input, "clip.mov");
  EXPECT_EQ(cli.output, "out.txt");
  EXPECT_EQ(cli.agg, "median");
  EXPECT_EQ(cli.segments, 8);
  EXPECT_EQ(cli.qp_range, -10);
  EXPECT_EQ(cli.crf, 70u);
  EXPECT_TRUE(cli.show_cmd);
  EXPECT_TRUE(cli.invert_sign);
  EXPECT_EQ(cli.diagnostic, "const-pos");
  EXPECT_EQ(cli.diag_value, -3);
  EXPECT_EQ(accepted({"--agg", "foo", "--diagnostic", "foo", "in"}).diagnostic, "foo");
}

TEST(Cli, ValueFormsSeparateAndJoined) {
  EXPECT_EQ(accepted({"in", "--agg=median"}).agg, "median");
  EXPECT_EQ(accepted({"in", "--agg=a=b"}).agg, "a=b");
  EXPECT_EQ(accepted({"in", "--agg="}).agg, "");
  EXPECT_EQ(accepted({"in", "-o", "f.txt"}).output, "f.txt");
  EXPECT_EQ(accepted({"in", "-of.txt"}).output, "f.txt");
  EXPECT_EQ(accepted({"in", "-o=f.txt"}).output, "f.txt");
  EXPECT_EQ(accepted({"in", "--output", "f.txt"}).output, "f.txt");
  EXPECT_EQ(accepted({"in", "--output=f.txt"}).output, "f.txt");
  EXPECT_EQ(accepted({"in", "-o-f.txt"}).output, "-f.txt");
}

TEST(Cli, EmptyTextsAreValuesNotAbsence) {
  EXPECT_EQ(accepted({"in", "-o", ""}).output, "");
  EXPECT_EQ(accepted({"in", "-o="}).output, "");
  EXPECT_EQ(accepted({"in", "--output="}).output, "");
  EXPECT_EQ(accepted({""}).input, "");
}

TEST(Cli, LoneDashIsAnOrdinaryText) {
  const auto cli = accepted({"-", "--agg", "-"});
  EXPECT_EQ(cli.input, "-");
  EXPECT_EQ(cli.agg, "-");
}

TEST(Cli, DoubleDashEndsTheOptions) {
  EXPECT_EQ(accepted({"--agg", "max", "--", "-input.mp4"}).input, "-input.mp4");
  EXPECT_EQ(accepted({"--", "--help"}).input, "--help");
  EXPECT_EQ(accepted({"--", "--"}).input, "--");
  expect_error({"--", "a.mp4", "--agg"}, "unexpected argument '--agg' found");
}

TEST(Cli, VersionIsActedOnWithoutInput) {
  for (const auto* request : {"--version", "-V"}) {
    const auto exit = ended({request});
    EXPECT_EQ(exit.exit_status, 0);
    EXPECT_EQ(exit.stdout_text, "zantolo-svtav1-roi 0.3.2\n");
    EXPECT_EQ(exit.stderr_text, "");
  }
  EXPECT_EQ(ended({"in.mp4", "--agg", "x", "-V", "--foo"}).stdout_text, "zantolo-svtav1-roi 0.3.2\n");
}

TEST(Cli, MissingInputIsFoundAfterAllArguments) {
  expect_error({}, "the following required arguments were not provided:\n  <INPUT>");
  expect_error({"--agg", "max", "--show-cmd"},
               "the following required arguments were not provided:\n  <INPUT>");
}

TEST(Cli, HelpIsActedOnTheMomentItIsRead) {
  expect_help({"--help"});
  expect_help({"-h"});
  expect_help({"input.mp4", "--help"});
  expect_help({"--help", "--foo"});
  expect_help({"--segments", "9", "-h", "--segments", "999"});
}

TEST(Cli, AnErrorBeforeHelpIsReportedInstead) {
  expect_error({"--foo", "--help"}, "unexpected argument '--foo' found");
  expect_error({"--segments", "256", "--help"},
               "invalid value '256' for '--segments <SEGMENTS>': number too large to fit in target type");
  expect_error({"--agg", "--help"}, "a value is required for '--agg <AGG>' but none was supplied");
  expect_error({"--help=yes"}, "unexpected value 'yes' for '--help' found; no more were expected");
}

TEST(Cli, HelpNamesTheProgramFileHoweverItWasStarted) {
  for (const auto* program : {"mapgen", "../bin/mapgen", "/usr/bin/mapgen/"}) {
    EXPECT_EQ(ended({"-h"}, program).stdout_text, expected_help) << program;
  }
}

TEST(Cli, ProgramNameIsTheLastComponentOfTheFirstArgument) {
  EXPECT_EQ(ended({}, "./build/mapgen").stderr_text,
            error_text("the following required arguments were not provided:\n  <INPUT>", "mapgen"));
  // Not valid UTF-8, or no file name at all: the command name stands in.
  for (const auto* program : {"/opt/\xff\xfe", "", "/", "bin/.."}) {
    EXPECT_EQ(ended({"--foo"}, program).stderr_text,
              error_text("unexpected argument '--foo' found", "zantolo-svtav1-roi"))
        << program;
  }
  EXPECT_NE(ended({"-h"}, "/opt/\xff").stdout_text.find("Usage: zantolo-svtav1-roi [OPTIONS] <INPUT>\n"),
            std::string::npos);
}

TEST(Cli, UnsignedIntegersStayInTheirType) {
  EXPECT_EQ(accepted({"in", "--segments", "0"}).segments, 0);
  EXPECT_EQ(accepted({"in", "--segments", "255"}).segments, 255);
  EXPECT_EQ(accepted({"in", "--segments", "+7"}).segments, 7);
  EXPECT_EQ(accepted({"in", "--segments", "007"}).segments, 7);
  EXPECT_EQ(accepted({"in", "--crf", "4294967295"}).crf, 4294967295u);
  expect_error({"in", "--segments", "256"},
               "invalid value '256' for '--segments <SEGMENTS>': number too large to fit in target type");
  expect_error({"in", "--crf", "4294967296"},
               "invalid value '4294967296' for '--crf <CRF>': number too large to fit in target type");
  expect_error({"in", "--segments", "-1"}, "unexpected argument '-1' found");
  expect_error({"in", "--crf", "-1"}, "unexpected argument '-1' found");
  expect_error({"in", "--crf=-1"}, "invalid value '-1' for '--crf <CRF>': invalid digit found in string");
}

TEST(Cli, SignedIntegersTakeNegativesOnlyJoined) {
  EXPECT_EQ(accepted({"in", "--qp-range=-10"}).qp_range, -10);
  EXPECT_EQ(accepted({"in", "--qp-range=-2147483648"}).qp_range, INT32_MIN);
  EXPECT_EQ(accepted({"in", "--qp-range", "2147483647"}).qp_range, INT32_MAX);
  EXPECT_EQ(accepted({"in", "--diag-value=-3"}).diag_value, -3);
  expect_error({"in", "--qp-range", "-10"}, "unexpected argument '-10' found");
  expect_error(
      {"in", "--qp-range", "2147483648"},
      "invalid value '2147483648' for '--qp-range <QP_RANGE>': number too large to fit in target type");
  expect_error(
      {"in", "--qp-range=-2147483649"},
      "invalid value '-2147483649' for '--qp-range <QP_RANGE>': number too small to fit in target type");
}

TEST(Cli, IntegersAreDecimalOnly) {
  for (const auto* text : {"x", "1.5", "0x10", "1e3", " 5", "5 ", "+", "-", "++5", "+-5", "--5"}) {
    expect_error({"in", std::string("--qp-range=") + text},
                 std::string("invalid value '") + text +
                     "' for '--qp-range <QP_RANGE>': invalid digit found in string");
  }
  expect_error({"in", "--segments="},
               "invalid value '' for '--segments <SEGMENTS>': cannot parse integer from empty string");
}

TEST(Cli, EachOptionAtMostOnce) {
  expect_error({"in", "--show-cmd", "--show-cmd"}, "the argument '--show-cmd' cannot be used multiple times");
  expect_error({"in", "--crf", "1", "--crf", "1"},
               "the argument '--crf <CRF>' cannot be used multiple times");
  expect_error({"in", "-o", "a", "--output=b"},
               "the argument '--output <OUTPUT>' cannot be used multiple times");
}

TEST(Cli, FlagsRefuseValues) {
  expect_error({"in", "--show-cmd=true"},
               "unexpected value 'true' for '--show-cmd' found; no more were expected");
  expect_error({"in", "--show-cmd="}, "unexpected value '' for '--show-cmd' found; no more were expected");
}

TEST(Cli, MissingValues) {
  expect_error({"in", "--agg"}, "a value is required for '--agg <AGG>' but none was supplied");
  expect_error({"in", "-o"}, "a value is required for '--output <OUTPUT>' but none was supplied");
  expect_error({"--segments", "--show-cmd", "in"},
               "a value is required for '--segments <SEGMENTS>' but none was supplied");
  expect_error({"in", "--agg", "-o", "x"}, "a value is required for '--agg <AGG>' but none was supplied");
  expect_error({"--agg", "--", "in"}, "a value is required for '--agg <AGG>' but none was supplied");
  expect_error({"in", "--agg", "--nope"}, "unexpected argument '--nope' found");
}

TEST(Cli, UnknownArgumentsAndSecondPositional) {
  expect_error({"in", "--foo"}, "unexpected argument '--foo' found");
  expect_error({"in", "--foo=1"}, "unexpected argument '--foo=1' found");
  expect_error({"in", "-x"}, "unexpected argument '-x' found");
  expect_error({"in", "--ag", "min"}, "unexpected argument '--ag' found");
  expect_error({"in", "-hx"}, "unexpected argument '-hx' found");
  expect_error({"a.mp4", "b.mp4"}, "unexpected argument 'b.mp4' found");
}

TEST(Cli, TextsMustBeValidUtf8) {
  EXPECT_EQ(accepted({"v\xC3\xAD"
                      "deo.mp4",
                      "--agg=\xE2\x89\x88"})
                .agg,
            "\xE2\x89\x88");
  expect_error({"in", "--agg", "m\xFFn"}, "invalid UTF-8 was detected in argument 'm\xEF\xBF\xBDn'");
  expect_error({"in", "--agg=\xC0\xAF"},
               "invalid UTF-8 was detected in argument '--agg=\xEF\xBF\xBD\xEF\xBF\xBD'");
  expect_error({"clip\xED\xA0\x80.mp4"},
               "invalid UTF-8 was detected in argument 'clip\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.mp4'");
  expect_error({"in", "--", "\xFF"}, "invalid UTF-8 was detected in argument '\xEF\xBF\xBD'");
  expect_error({"in", "-\xFF", "--help"}, "invalid UTF-8 was detected in argument '-\xEF\xBF\xBD'");
  expect_help({"--help", "\xFF"});
}

TEST(Cli, DefaultThatIsNotAValueIsAProgrammingError) {
  const quen::CommandSpec<TestCli> broken{
      .name = "broken",
      .version = "1",
      .about = "",
      .input = quen::positional(&TestCli::input, "INPUT", "Input"),
      .options = {quen::option(&TestCli::segments, "segments", "SEGMENTS", "Segments", "300")}};
  EXPECT_THROW(quen::parse_arguments(broken, {"p", "in"}), std::logic_error);
  EXPECT_TRUE(std::holds_alternative<TestCli>(quen::parse_arguments(broken, {"p", "in", "--segments=3"})));
}

// The process-level wrapper writes each text to its stream and exits.
TEST(CliDeathTest, ParseCommandLineExitsWithTheOutcomeStatus) {
  const char* refused[] = {"mapgen", "--segments", "256"};
  EXPECT_EXIT(quen::parse_command_line(spec, 3, refused), ::testing::ExitedWithCode(2),
              "^error: invalid value '256' for '--segments <SEGMENTS>'");
  const char* version[] = {"mapgen", "-V"};
  EXPECT_EXIT(quen::parse_command_line(spec, 2, version), ::testing::ExitedWithCode(0), "^$");
  const char* fine[] = {"mapgen", "in.mp4", "--segments", "3"};
  EXPECT_EQ(quen::parse_command_line(spec, 4, fine).segments, 3);
}

}  // namespace
