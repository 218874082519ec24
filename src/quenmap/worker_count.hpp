#pragma once
// How many threads a stage of the analysis may keep busy: the processors in
// our affinity mask, limited by a CPU quota of our control group.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenmap {

// Asked afresh at every call (the affinity or the quota may change during a
// run); at least 1. When the platform cannot tell at all, 4.
std::size_t worker_count();

// The whole CPUs that a cgroup v2 "cpu.max" text allows ("max P" or "Q P"):
// floor(Q / P) but at least 1; nothing when there is no quota or the text
// cannot be read as one.
std::optional<std::size_t> cpu_quota_limit(std::string_view cpu_max);

// The same for cgroup v1's cpu.cfs_quota_us and cpu.cfs_period_us texts,
// where a quota of -1 means none.
std::optional<std::size_t> cfs_quota_limit(std::string_view quota_us, std::string_view period_us);

// The cgroup paths named by a /proc/self/cgroup text: the unified (v2)
// hierarchy's "0::/path" line and the v1 line whose controllers include cpu.
struct CgroupPaths {
  std::optional<std::string> unified;
  std::optional<std::string> cpu_controller;
};
CgroupPaths parse_proc_cgroup(std::string_view proc_self_cgroup);

// "/a/b", then "/a", then "/": a quota on any ancestor limits us too.
std::vector<std::string> cgroup_path_and_ancestors(std::string_view path);

}  // namespace quenmap
