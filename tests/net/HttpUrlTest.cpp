// URL parts and Location resolution.
#include <gtest/gtest.h>

#include "net/HttpUrl.h"

using namespace net;

namespace {

TEST(HttpUrlTest, ParsesTheParts) {
  const struct {
    const char* url;
    const char* proto;
    const char* user;
    const char* pass;
    const char* host;
    const char* port;
    const char* path;
  } cases[] = {
      {"http://example.com", "http", "", "", "example.com", "", "/"},
      {"http://example.com:8080/a/b.flv?x=1", "http", "", "", "example.com", "8080", "/a/b.flv?x=1"},
      {"HTTP://Example.com/", "http", "", "", "Example.com", "", "/"},
      {"https://h/x", "https", "", "", "h", "", "/x"},
      {"ftp://u:p@h:21/f", "ftp", "u", "p", "h", "21", "/f"},
      {"http://us@er:pw@host/p", "http", "us@er", "pw", "host", "", "/p"},
      {"http://h?q=1", "http", "", "", "h", "", "/?q=1"},
      {"example.com/page", "http", "", "", "example.com", "", "/page"},
      {"127.0.0.1:3128", "http", "", "", "127.0.0.1", "3128", "/"},
      {"/only/a/path", "http", "", "", "", "", "/only/a/path"},
      {"http:/x", "http", "", "", "", "", "/x"},
      {"mailto:someone@example.com", "mailto", "", "", "", "", "someone@example.com"},
  };
  for (const auto& c : cases) {
    THttpUrl u = ParseURL(c.url);
    EXPECT_EQ(u.Proto, c.proto) << c.url;
    EXPECT_EQ(u.User, c.user) << c.url;
    EXPECT_EQ(u.Pass, c.pass) << c.url;
    EXPECT_EQ(u.Host, c.host) << c.url;
    EXPECT_EQ(u.Port, c.port) << c.url;
    EXPECT_EQ(u.Path, c.path) << c.url;
  }
  EXPECT_EQ(ParseURL("../up/x", "/a/b/c.htm").Path, "/a/up/x");
  EXPECT_EQ(ParseURL("./here", "/a/b/c.htm").Path, "/a/b/here");
}

TEST(HttpUrlTest, ResolvesLocations) {
  const struct {
    const char* location;
    const char* port;
    const char* current;
    const char* result;
  } cases[] = {
      {"/x", "80", "/a/b", "http://h/x"},
      {"/x", "8080", "/a/b", "http://h:8080/x"},
      {"http://other/y", "8080", "/a", "http://other/y"},
      {"HTTPS://secure/z", "80", "/a", "HTTPS://secure/z"},
      {"c.htm", "80", "/a/b.htm?q=/x/y", "http://h/a/c.htm"},
      {"../c.htm", "80", "/a/b/d.htm", "http://h/a/c.htm"},
      {"../../../c", "80", "/a/b", "http://h/c"},
      {"./c", "80", "/a/", "http://h/a/c"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveLocation(c.location, "http", "h", c.port, c.current), c.result) << c.location;
  EXPECT_EQ(StripFragment("http://h/x#frag"), "http://h/x");
}

}  // namespace
