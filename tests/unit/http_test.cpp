// The HTTP client under read and write of url!: what goes on the wire, what
// the answers become, redirects, and the answers it must refuse. Every case
// talks to tests/http_server.py, started on 127.0.0.1 for the suite; its echo
// path sends back the request exactly as it arrived, so the expected requests
// below are checked against the bytes the server received.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "io/http.h"
#include "tests/unit/natives_cases.h"
#include "tests/unit/test_support.h"

using namespace zel;

namespace {

using natives_cases::eval_molded;
using natives_cases::run;

struct HttpTest : natives_cases::NativesTest {
    static FILE* server;
    // "127.0.0.1:port" of the server, of its second port (another origin),
    // and of a port that nothing listens on.
    static std::string hosts[3];

    static void SetUpTestSuite() {
        std::string script = test_support::source_dir() + "/tests/http_server.py";
        server = popen(("exec python3 " + script).c_str(), "r");
        int ports[3] = {0, 0, 0};
        char line[64] = "";
        if (server && std::fgets(line, sizeof line, server))
            std::sscanf(line, "%d %d %d", &ports[0], &ports[1], &ports[2]);
        for (int i = 0; i < 3; i++) hosts[i] = "127.0.0.1:" + std::to_string(ports[i]);
    }
    static void TearDownTestSuite() {
        if (!server) return;
        natives_cases::words_ready();
        run(with_hosts("read http://{1}/quit").c_str());
        pclose(server);
        server = nullptr;
    }
    void SetUp() override {
        natives_cases::NativesTest::SetUp();
        ASSERT_NE(hosts[0], "127.0.0.1:0") << "the test server did not start";
        http::init();
    }

    // The text with {1}, {2} and {0} replaced by the hosts.
    static std::string with_hosts(std::string text) {
        static const char* const marks[3] = {"{1}", "{2}", "{0}"};
        for (int i = 0; i < 3; i++) {
            for (size_t at; (at = text.find(marks[i])) != std::string::npos;) text.replace(at, 3, hosts[i]);
        }
        return text;
    }
    // The bytes of the binary! the code answers.
    static std::string bytes_of(const std::string& code) {
        Cell b = run(code.c_str());
        if (cell::type(&b) != T_BINARY) return "(not a binary: " + natives_cases::molded(b) + ")";
        return std::string(reinterpret_cast<const char*>(binary::head_address(&b)), binary::length(&b));
    }
};
FILE* HttpTest::server = nullptr;
std::string HttpTest::hosts[3];

#define DEFAULTS                                                                                   \
    "Content-Type: application/x-www-form-urlencoded\r\nAccept-Charset: UTF-8\r\nUser-Agent: " \
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64)\r\n"
#define CLOSE "Connection: close\r\n\r\n"

struct WireCase {
    const char* code;
    const char* request;  // as the server received it
};

TEST_F(HttpTest, RequestsGoOnTheWireAsAsked) {
    static const WireCase cases[] = {
        // No headers block: the three defaults; GET and HEAD carry no body.
        {"read/binary http://{1}/echo", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" DEFAULTS CLOSE},
        {"write/binary http://{1}/echo [get [] \"ignored\"]", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        // An empty headers block sets no field at all.
        {"write/binary http://{1}/echo [get []]", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        {"write/binary http://{1}/echo \"data\"",
         "POST /echo HTTP/1.1\r\nHost: {1}\r\n" DEFAULTS "Content-Length: 4\r\n" CLOSE "data"},
        {"write/binary http://{1}/echo #{01FF41}",
         "POST /echo HTTP/1.1\r\nHost: {1}\r\n" DEFAULTS "Content-Length: 3\r\n" CLOSE "\x01\xff" "A"},
        {"write/binary http://{1}/echo [post [] [a \"b\" 1]]",
         "POST /echo HTTP/1.1\r\nHost: {1}\r\nContent-Length: 5\r\n" CLOSE "a b 1"},
        // Any other method word in upper case; names of any word kind, other
        // names and values formed.
        {"write/binary http://{1}/echo [patch [X-A: \"1\" x-b 2 \"X-C\" 3.5 'X-D <t>] \"body\"]",
         "PATCH /echo HTTP/1.1\r\nHost: {1}\r\nX-A: 1\r\nx-b: 2\r\nX-C: 3.5\r\nX-D: <t>\r\nContent-Length: 4\r\n" CLOSE
         "body"},
        // A blank value goes out as the name and its colon alone.
        {"write/binary http://{1}/echo [delete [X-A: \"\" X-Odd]]",
         "DELETE /echo HTTP/1.1\r\nHost: {1}\r\nX-A:\r\nContent-Length: 0\r\n" CLOSE},
        // The caller's Host stands; the framing fields are the client's own.
        {"write/binary http://{1}/echo [post [Host: \"example.test\" Content-Length: \"99\" Connection: "
         "\"keep-alive\" Transfer-Encoding: \"chunked\"] \"ab\"]",
         "POST /echo HTTP/1.1\r\nHost: example.test\r\nContent-Length: 2\r\n" CLOSE "ab"},
        // Bytes that may not stand on the request line are escaped; user
        // information and the fragment are not sent.
        {"write/binary to url! \"http://{1}/a b/\xC3\xA9/echo?q=1 2#frag\" [get []]",
         "GET /a%20b/%C3%A9/echo?q=1%202 HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        {"write/binary to url! \"http://u:pw@{1}/echo\" [get []]", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
    };
    for (const WireCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(bytes_of(with_hosts(c.code)), with_hosts(c.request));
    }
}

TEST_F(HttpTest, RedirectsAreFollowed) {
    static const WireCase cases[] = {
        // 302 turns a POST into a GET without the body, 307 repeats it.
        {"write/binary http://{1}/redirect/302?/echo \"x\"", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" DEFAULTS CLOSE},
        {"write/binary http://{1}/redirect/307?/echo \"x\"",
         "POST /echo HTTP/1.1\r\nHost: {1}\r\n" DEFAULTS "Content-Length: 1\r\n" CLOSE "x"},
        // 303 asks for a GET whatever the method; 301 changes only a POST.
        {"write/binary http://{1}/redirect/303?/echo [put [] \"x\"]", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        {"write/binary http://{1}/redirect/301?/echo [put [] \"x\"]",
         "PUT /echo HTTP/1.1\r\nHost: {1}\r\nContent-Length: 1\r\n" CLOSE "x"},
        // A relative location, a location without a scheme, ten hops.
        {"write/binary http://{1}/redirect/302?echo [get []]", "GET /redirect/echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        {"write/binary http://{1}/redirect/308?//{2}/echo [get []]", "GET /echo HTTP/1.1\r\nHost: {2}\r\n" CLOSE},
        {"write/binary http://{1}/hops/10 [get []]", "GET /echo HTTP/1.1\r\nHost: {1}\r\n" CLOSE},
        // Credentials stay with their origin.
        {"write/binary http://{1}/redirect/307?/echo [post [Authorization: \"a\" Cookie: \"c\"] \"b\"]",
         "POST /echo HTTP/1.1\r\nHost: {1}\r\nAuthorization: a\r\nCookie: c\r\nContent-Length: 1\r\n" CLOSE "b"},
        {"write/binary http://{1}/redirect/307?http://{2}/echo [post [Authorization: \"a\" Cookie: \"c\" X-Keep: "
         "\"k\" Host: \"h\"] \"b\"]",
         "POST /echo HTTP/1.1\r\nHost: {2}\r\nX-Keep: k\r\nContent-Length: 1\r\n" CLOSE "b"},
    };
    for (const WireCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(bytes_of(with_hosts(c.code)), with_hosts(c.request));
    }
}

TEST_F(HttpTest, AnswersBecomeValues) {
    static const natives_cases::Case cases[] = {
        // Framing: chunked (extensions and trailers passed over), up to the
        // close, bare LF line ends, interim answers, no body for 204 and HEAD.
        {"read http://{1}/raw/chunked", R"("Wikipedia in^M^/^M^/chunks.")"},
        {"read/info http://{1}/raw/chunked", R"([200 #[Transfer-Encoding: "chunked"] "Wikipedia in^M^/^M^/chunks."])"},
        {"read http://{1}/raw/close", R"("until the close")"},
        {"read http://{1}/raw/bare-lf", R"("abc")"},
        {"read/info http://{1}/raw/interim", R"([201 #[Content-Length: "2"] "hi"])"},
        {"read/info http://{1}/raw/no-content", R"([204 #[Content-Length: "5"] ""])"},
        {"pick write/info http://{1}/echo [head []] 3", R"("")"},
        {"read http://{1}/raw/empty", R"("")"},
        {"read/info/binary http://{1}/slow", R"([200 #[Content-Length: "10" X-Slow: "yes"] #{30313233343536373839}])"},
        {"read http://{1}/raw/big-header", R"("ok")"},
        // The body as UTF-8 text, bytes or lines.
        {"read http://{1}/raw/utf8", "\"h\xC3\xA9llo \xE2\x82\xAC\""},
        {"read/binary http://{1}/raw/utf8", "#{68C3A96C6C6F20E282AC}"},
        {"read/binary http://{1}/raw/invalid-utf8", "#{61FF62}"},
        {"read/lines http://{1}/raw/lines", R"(["a" "b" "" "c"])"},
        // Status and fields: any status answers its body; a repeated name
        // gathers its values; folded lines join; text that is not UTF-8
        // keeps its bytes as characters.
        {"read http://{1}/raw/not-found", R"("gone")"},
        {"read/info http://{1}/raw/not-found", R"([404 #[Content-Length: "4"] "gone"])"},
        {"read/info http://{1}/raw/dup", R"([200 #[Set-Cookie: ["a=1" "b=2"] X-One: "v" Content-Length: "2"] "ok"])"},
        {"read/info http://{1}/raw/no-location", R"([302 #[Content-Length: "4"] "stay"])"},
        {"read/info http://{1}/redirect/302?/raw/dup",
         R"([200 #[Set-Cookie: ["a=1" "b=2"] X-One: "v" Content-Length: "2"] "ok"])"},
        {"select pick read/info http://{1}/raw/folded 2 'X-Long", R"("a b")"},
        {"select pick read/info http://{1}/raw/latin1-header 2 'x-name", "\"caf\xC3\xA9 \xC3\xA9\""},
        // A body larger than any buffer of the way, both ways.
        {"d: append/dup #{} #{AB} 3000000 r: write/binary http://{1}/echo d equal? d skip r (length? r) - (length? d)",
         "true"},
    };
    for (const natives_cases::Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(eval_molded(with_hosts(c.code).c_str()), c.expected);
    }
}

TEST_F(HttpTest, LargeBodiesArriveWhole) {
    std::string body = bytes_of(with_hosts("read/binary http://{1}/big?1000000"));
    ASSERT_EQ(body.size(), 1000000u);
    for (size_t i = 0; i < body.size(); i++) {
        if (uint8_t(body[i]) != i % 251) FAIL() << "byte " << i;
    }
}

struct FailureCase {
    const char* code;
    Err id;
};

TEST_F(HttpTest, FailedRequestsAreReported) {
    static const FailureCase cases[] = {
        // Answers that cannot be trusted to their end.
        {"read http://{1}/raw/truncated", Err::access_no_connect},
        {"read http://{1}/raw/bad-status", Err::access_no_connect},
        {"read http://{1}/raw/huge-length", Err::access_no_connect},
        {"read http://{1}/raw/big-length", Err::access_no_connect},
        {"read http://{1}/raw/two-lengths", Err::access_no_connect},
        {"read http://{1}/raw/bad-chunk", Err::access_no_connect},
        {"read http://{1}/raw/huge-chunk", Err::access_no_connect},
        {"read http://{1}/raw/cut-chunk", Err::access_no_connect},
        {"read http://{1}/raw/cut-head", Err::access_no_connect},
        {"read/info http://{1}/raw/cut-redirect", Err::access_no_connect},
        {"read http://{1}/raw/huge-header", Err::access_no_connect},
        {"read http://{1}/raw/header-flood", Err::access_no_connect},
        {"read http://{1}/raw/nothing", Err::access_no_connect},
        {"read http://{1}/hops/11", Err::access_no_connect},
        // No connection; a peer that resets while the body goes out.
        {"read http://{0}/", Err::access_no_connect},
        {"write http://{1}/hangup append/dup #{} #{AB} 16000000", Err::access_no_connect},
        // Locators and fields that cannot be sent.
        {"read to url! \"httpx://{1}/echo\"", Err::access_no_connect},
        {"read http://127.0.0.1:99999/echo", Err::access_no_connect},
        {"read http://127.0.0.1:0/echo", Err::access_no_connect},
        {"read to url! \"http:///echo\"", Err::access_no_connect},
        {"write http://{1}/echo [get [\"a b\" \"v\"]]", Err::access_no_connect},
        {"write http://{1}/echo [get [X-A: \"a^/X-B: b\"]]", Err::access_no_connect},
        {"write http://{1}/echo [get [X-A: \"a^Mb\"]]", Err::access_no_connect},
        // https goes out like http, and fails like it where nothing listens,
        // whether asked for or reached by a redirect.
        {"read https://{0}/echo", Err::access_no_connect},
        {"write https://{0}/echo [post [] \"x\"]", Err::access_no_connect},
        {"read http://{1}/redirect/302?https://{0}/echo", Err::access_no_connect},
        {"read http://{1}/raw/invalid-utf8", Err::access_invalid_utf8},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(test_support::raises(c.id, [&] { run(with_hosts(c.code).c_str()); }));
    }
}

TEST_F(HttpTest, APeerThatStallsIsGivenUpOn) {
    http::Timeouts saved = http::timeouts;
    http::timeouts.receive_ms = 200;
    std::string code = with_hosts("read http://{1}/stall");
    EXPECT_TRUE(test_support::raises(Err::access_no_connect, [&] { run(code.c_str()); }));
    http::timeouts = saved;
}

// The body is larger than what the connection's buffers can hold, so the
// request stops on the wait for the peer to take more of it.
TEST_F(HttpTest, APeerThatTakesNothingIsGivenUpOn) {
    http::Timeouts saved = http::timeouts;
    http::timeouts.send_ms = 200;
    std::string code = with_hosts("write http://{1}/deaf append/dup #{} #{AB} 40000000");
    EXPECT_TRUE(test_support::raises(Err::access_no_connect, [&] { run(code.c_str()); }));
    http::timeouts = saved;
}

}  // namespace
