#include "worker_count.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>

namespace quenmap {

namespace {

constexpr std::size_t unknown_platform_workers = 4;

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// A whole decimal number with nothing before or after it.
std::optional<std::int64_t> parse_int(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// Cuts the text up to the first `separator` (or the whole text) off the front
// of `text` and returns it.
std::string_view take_item(std::string_view& text, char separator) {
  const auto end = text.find(separator);
  const std::string_view item = text.substr(0, end);
  text = end == std::string_view::npos ? text.substr(text.size()) : text.substr(end + 1);
  return item;
}

bool lists_controller(std::string_view controllers, std::string_view wanted) {
  while (!controllers.empty()) {
    if (take_item(controllers, ',') == wanted) return true;
  }
  return false;
}

std::optional<std::size_t> quota_limit(std::int64_t quota, std::int64_t period) {
  if (quota <= 0 || period <= 0) return std::nullopt;
  return std::max<std::size_t>(1, static_cast<std::size_t>(quota / period));
}

std::optional<std::string> read_text(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A file of the cgroup directory `dir` ("/" for the root) under a mount point.
std::string cgroup_file(std::string_view mount, const std::string& dir, std::string_view name) {
  std::string path(mount);
  if (dir != "/") path += dir;
  path += '/';
  path += name;
  return path;
}

std::optional<std::size_t> smaller(std::optional<std::size_t> a, std::optional<std::size_t> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

// Directories that are missing (the path is outside our mount namespace's
// view of the hierarchy) are skipped; their ancestors may still be visible.
std::optional<std::size_t> unified_quota(const std::string& cgroup_path) {
  std::optional<std::size_t> limit;
  for (const std::string& dir : cgroup_path_and_ancestors(cgroup_path)) {
    if (auto text = read_text(cgroup_file("/sys/fs/cgroup", dir, "cpu.max")))
      limit = smaller(limit, cpu_quota_limit(*text));
  }
  return limit;
}

std::optional<std::size_t> cfs_quota(const std::string& cgroup_path) {
  std::optional<std::size_t> limit;
  for (const std::string& dir : cgroup_path_and_ancestors(cgroup_path)) {
    auto quota = read_text(cgroup_file("/sys/fs/cgroup/cpu", dir, "cpu.cfs_quota_us"));
    auto period = read_text(cgroup_file("/sys/fs/cgroup/cpu", dir, "cpu.cfs_period_us"));
    if (quota && period) limit = smaller(limit, cfs_quota_limit(*quota, *period));
  }
  return limit;
}

std::optional<std::size_t> cgroup_quota() {
  const auto text = read_text("/proc/self/cgroup");
  if (!text) return std::nullopt;
  const CgroupPaths paths = parse_proc_cgroup(*text);
  std::optional<std::size_t> limit;
  if (paths.unified) limit = smaller(limit, unified_quota(*paths.unified));
  if (paths.cpu_controller) limit = smaller(limit, cfs_quota(*paths.cpu_controller));
  return limit;
}

struct CpuSetDeleter {
  void operator()(cpu_set_t* set) const { CPU_FREE(set); }
};

// The mask may be wider than a cpu_set_t on very large machines: the kernel
// says EINVAL until the set is big enough.
std::optional<std::size_t> affinity_count() {
  for (std::size_t cpus = 1024; cpus <= (1u << 20); cpus *= 2) {
    std::unique_ptr<cpu_set_t, CpuSetDeleter> set(CPU_ALLOC(cpus));
    if (!set) return std::nullopt;
    const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(bytes, set.get());
    if (sched_getaffinity(0, bytes, set.get()) == 0) {
      const int count = CPU_COUNT_S(bytes, set.get());
      return count > 0 ? std::optional<std::size_t>(count) : std::nullopt;
    }
    if (errno != EINVAL) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::size_t> online_count() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? std::optional<std::size_t>(count) : std::nullopt;
}

}  // namespace

std::optional<std::size_t> cpu_quota_limit(std::string_view cpu_max) {
  const std::string_view text = trim(cpu_max);
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::string_view quota = text.substr(0, space);
  const auto period = parse_int(trim(text.substr(space + 1)));
  if (quota == "max" || !period) return std::nullopt;
  const auto quota_value = parse_int(quota);
  if (!quota_value) return std::nullopt;
  return quota_limit(*quota_value, *period);
}

std::optional<std::size_t> cfs_quota_limit(std::string_view quota_us, std::string_view period_us) {
  const auto quota = parse_int(trim(quota_us));
  const auto period = parse_int(trim(period_us));
  if (!quota || !period) return std::nullopt;
  return quota_limit(*quota, *period);
}

CgroupPaths parse_proc_cgroup(std::string_view text) {
  CgroupPaths paths;
  while (!text.empty()) {
    // hierarchy-ID:controller-list:path; the path itself may hold colons.
    std::string_view rest = take_item(text, '\n');
    if (std::count(rest.begin(), rest.end(), ':') < 2) continue;
    const std::string_view id = take_item(rest, ':');
    const std::string_view controllers = take_item(rest, ':');
    if (id == "0" && controllers.empty()) {
      paths.unified = std::string(rest);
    } else if (lists_controller(controllers, "cpu")) {
      paths.cpu_controller = std::string(rest);
    }
  }
  return paths;
}

std::vector<std::string> cgroup_path_and_ancestors(std::string_view path) {
  std::vector<std::string> dirs;
  std::string dir(trim(path));
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  while (!dir.empty()) {
    dirs.push_back(dir);
    const auto slash = dir.rfind('/');
    dir.erase(slash == std::string::npos ? 0 : slash);
  }
  dirs.push_back("/");
  return dirs;
}

std::size_t worker_count() {
  std::optional<std::size_t> count = affinity_count();
  if (!count) count = online_count();
  if (!count) return unknown_platform_workers;
  return smaller(count, cgroup_quota()).value();
}

}  // namespace quenmap
