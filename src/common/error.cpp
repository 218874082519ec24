#include "error.hpp"

#include <fmt/format.h>

#include <new>
#include <stdexcept>
#include <vector>

namespace quen {

void rethrow_with_context(std::string_view context) {
  std::throw_with_nested(Error(std::string(context)));
}

namespace {

// The standard library's own failures carry the name of their type as their
// text ("std::bad_alloc"), which tells a user nothing: these say what
// happened. A length_error is a container asked to grow past the largest size
// it can hold, a request no memory could serve.
std::string_view message_of(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "out of memory";
  if (dynamic_cast<const std::length_error*>(&error) != nullptr) {
    return "out of memory: a size beyond what can be held";
  }
  return error.what();
}

// Collects the messages of the chain, outermost first.
void collect_messages(const std::exception& error, std::vector<std::string>& out) {
  out.emplace_back(message_of(error));
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& cause) {
    collect_messages(cause, out);
  } catch (...) {
    out.emplace_back("unknown error");
  }
}

// Writes a cause's text, indenting every line after its first.
void append_indented(std::string& out, std::string_view text, std::string_view indent) {
  for (std::size_t start = 0;;) {
    const auto end = text.find('\n', start);
    out.append(text.substr(start, end - start));
    if (end == std::string_view::npos) break;
    out += '\n';
    out.append(indent);
    start = end + 1;
  }
}

}  // namespace

std::string error_report(const std::exception& error) {
  std::vector<std::string> messages;
  collect_messages(error, messages);

  std::string out;
  append_indented(out, messages.front(), "");
  if (messages.size() == 1) return out;

  out += "\n\nCaused by:";
  const auto causes = messages.size() - 1;
  for (std::size_t i = 1; i < messages.size(); ++i) {
    out += '\n';
    if (causes == 1) {
      out += "    ";
      append_indented(out, messages[i], "    ");
    } else {
      out += fmt::format("{:>5}: ", i - 1);
      append_indented(out, messages[i], "       ");
    }
  }
  return out;
}

std::string error_report(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return error_report(e);
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace quen
