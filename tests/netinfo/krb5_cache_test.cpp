// Kerberos tickets are seen in the cache the krb5 library would use, of any
// type and wherever KRB5CCNAME or the configuration puts it, and only when
// the cache names a principal.
#include "krb5_cache.h"

#include <gtest/gtest.h>
#include <krb5.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

class Krb5Cache : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"KRB5CCNAME", "KRB5_CONFIG"})
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    char folder[] = "/tmp/mirelka-krb5.XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    dir_ = folder;
    ::unsetenv("KRB5CCNAME");
  }
  void TearDown() override {
    ::unsetenv("KRB5CCNAME");
    ::unsetenv("KRB5_CONFIG");
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }

  // A configuration whose default cache is `cache`.
  void DefaultCache(const std::string& cache) {
    const std::string path = dir_ + "/krb5.conf";
    std::ofstream(path) << "[libdefaults]\n  default_realm = EXAMPLE.TEST\n  default_ccache_name = " << cache << "\n";
    ::setenv("KRB5_CONFIG", path.c_str(), 1);
  }

  // Makes the cache `name` hold a principal (no ticket needs a KDC for that);
  // false when this system cannot make such a cache.
  static bool Fill(const std::string& name) { return Use(name, true); }
  static void Destroy(const std::string& name) { Use(name, false); }

  std::string dir_;

 private:
  static bool Use(const std::string& name, bool fill) {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) return false;
    krb5_ccache cache = nullptr;
    krb5_principal principal = nullptr;
    bool done = krb5_cc_resolve(context, name.c_str(), &cache) == 0;
    if (done && fill) {
      done = krb5_parse_name(context, "alice@EXAMPLE.TEST", &principal) == 0 &&
             krb5_cc_initialize(context, cache, principal) == 0;
      krb5_cc_close(context, cache);
    } else if (done) {
      krb5_cc_destroy(context, cache);
    }
    if (principal) krb5_free_principal(context, principal);
    krb5_free_context(context);
    return done;
  }

  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(Krb5Cache, FileCacheThatKrb5ccnamePutsElsewhere) {
  DefaultCache("FILE:" + dir_ + "/default");
  const std::string cache = "FILE:" + dir_ + "/elsewhere";
  ::setenv("KRB5CCNAME", cache.c_str(), 1);
  EXPECT_FALSE(netinfo::HasKerberosTicketCache()) << "named, but there is no such cache";
  ASSERT_TRUE(Fill(cache));
  EXPECT_TRUE(netinfo::HasKerberosTicketCache());
  ::setenv("KRB5CCNAME", ("FILE:" + dir_ + "/other").c_str(), 1);
  EXPECT_FALSE(netinfo::HasKerberosTicketCache()) << "a filled cache that is not the one in use";
}

TEST_F(Krb5Cache, KeyringCacheThatTheConfigurationNames) {
  const std::string cache = "KEYRING:process:mirelka-test-" + std::to_string(::getpid());
  DefaultCache(cache);
  EXPECT_FALSE(netinfo::HasKerberosTicketCache());
  if (!Fill(cache)) GTEST_SKIP() << "no kernel keyring here";
  EXPECT_TRUE(netinfo::HasKerberosTicketCache());
  Destroy(cache);
  EXPECT_FALSE(netinfo::HasKerberosTicketCache());
}

}  // namespace
