#include "quenmap/worker_count.hpp"

#include <gtest/gtest.h>

#include "cpu_affinity.hpp"

namespace quenmap {
namespace {

TEST(CpuQuota, UnifiedCpuMax) {
  EXPECT_EQ(cpu_quota_limit("max 100000\n"), std::nullopt);
  EXPECT_EQ(cpu_quota_limit("150000 100000\n"), 1u);
  EXPECT_EQ(cpu_quota_limit("50000 100000"), 1u);
  EXPECT_EQ(cpu_quota_limit("400000 100000\n"), 4u);
  EXPECT_EQ(cpu_quota_limit("250000 50000"), 5u);
}

TEST(CpuQuota, UnreadableCpuMaxIsNoQuota) {
  for (const char* text : {"", "garbage", "100000", "12x 100000", "100000 0", "100000 abc", "-5 100000"}) {
    EXPECT_EQ(cpu_quota_limit(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(CpuQuota, CfsQuotaAndPeriod) {
  EXPECT_EQ(cfs_quota_limit("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(cfs_quota_limit("200000\n", "100000\n"), 2u);
  EXPECT_EQ(cfs_quota_limit("30000\n", "100000\n"), 1u);
  EXPECT_EQ(cfs_quota_limit("junk", "100000"), std::nullopt);
  EXPECT_EQ(cfs_quota_limit("100000", "0"), std::nullopt);
}

TEST(ProcCgroup, FindsTheUnifiedAndTheCpuControllerPaths) {
  const auto hybrid = parse_proc_cgroup(
      "12:pids:/user.slice\n"
      "4:cpu,cpuacct:/docker/abc\n"
      "1:name=systemd:/init.scope\n"
      "0::/user.slice/session:2.scope");
  EXPECT_EQ(hybrid.unified, "/user.slice/session:2.scope");
  EXPECT_EQ(hybrid.cpu_controller, "/docker/abc");

  const auto unified_only = parse_proc_cgroup("0::/\n");
  EXPECT_EQ(unified_only.unified, "/");
  EXPECT_EQ(unified_only.cpu_controller, std::nullopt);

  const auto cpuacct_only = parse_proc_cgroup("3:cpuacct:/x\n5:cpuset:/y\nbroken line\n");
  EXPECT_EQ(cpuacct_only.cpu_controller, std::nullopt);
  EXPECT_EQ(cpuacct_only.unified, std::nullopt);
}

TEST(ProcCgroup, PathsFromTheGroupUpToTheRoot) {
  using Dirs = std::vector<std::string>;
  EXPECT_EQ(cgroup_path_and_ancestors("/a/b/c"), (Dirs{"/a/b/c", "/a/b", "/a", "/"}));
  EXPECT_EQ(cgroup_path_and_ancestors("/a/"), (Dirs{"/a", "/"}));
  EXPECT_EQ(cgroup_path_and_ancestors("/"), (Dirs{"/"}));
}

TEST(WorkerCount, StaysWithinTheAffinityMask) {
  const std::size_t allowed = testing::allowed_cpus().size();
  const std::size_t count = worker_count();
  EXPECT_GE(count, 1u);
  EXPECT_LE(count, allowed);
}

TEST(WorkerCount, FollowsTheMaskAtEveryCall) {
  const std::size_t unrestricted = worker_count();
  {
    testing::ScopedAffinity one(1);
    EXPECT_EQ(worker_count(), 1u);
  }
  if (testing::allowed_cpus().size() >= 2) {
    testing::ScopedAffinity two(2);
    EXPECT_LE(worker_count(), 2u);
    EXPECT_EQ(worker_count(), std::min<std::size_t>(unrestricted, 2));
  }
  EXPECT_EQ(worker_count(), unrestricted);
}

}  // namespace
}  // namespace quenmap
