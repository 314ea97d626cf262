// url!: percent decoding and encoding (against python3 urllib.parse.quote),
// construction from blocks, mold, path access, and read/write through the
// HTTP client and port seams.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/url.h"
#include "core/word.h"
#include "io/http.h"
#include "io/lexer.h"
#include "kernel/memory.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::block_of;
using test_values::integer;
using test_values::run;
using test_values::text;
using test_values::utf8_of;

std::string decoded(const std::string& in) {
    Cell target;
    string::write_cell(&target, 16);
    Cell v = text(in, T_URL);
    url::decode(&v, &target);
    return utf8_of(target);
}

std::string encoded(const std::string& in, int32_t mode, uint32_t type = T_STRING) {
    Cell target;
    string::write_cell(&target, 16);
    Cell v = text(in, type);
    url::encode_char(&v, &target, mode);
    return utf8_of(target);
}

std::string molded(const Cell& v, Cell* part = nullptr, int32_t limit = 0x7FFFFFFF) {
    Cell buffer, value = v;
    string::write_cell(&buffer, 16);
    url::mold(&value, &buffer, false, false, false, part, limit, 0);
    return utf8_of(buffer);
}

std::string hex(const std::string& s) {
    std::string h;
    for (unsigned char c : s) {
        char d[3];
        std::snprintf(d, sizeof d, "%02x", c);
        h += d;
    }
    return h;
}

// A stand-in HTTP client that records its call.
struct Call {
    std::string method, url;
    uint32_t headers_type, body_type;
    bool binary, lines, info;
    bool answer_none;
} last_call;
Cell http_answer;

const Cell* fake_http(const Cell* method, const Cell* url, const Cell* headers, const Cell* body, bool binary,
                      bool lines, bool info) {
    last_call.method = symbol::get_cstr(cell::word_symbol(method));
    last_call.url = utf8_of(*url);
    last_call.headers_type = cell::type(headers);
    last_call.body_type = cell::type(body);
    last_call.binary = binary;
    last_call.lines = lines;
    last_call.info = info;
    if (last_call.answer_none) return &statics::none_cell;
    http_answer = text("response");
    return &http_answer;
}

struct UrlTest : ::testing::Test {
    Cell* saved_base = nullptr;
    void SetUp() override {
        saved_base = stack::reg.base;
        stack::reg.base = stack::reg.top;
        stack::push(&statics::none_cell);
    }
    void TearDown() override {
        http::init();  // the real client back for later suites
        url::set_port_maker(nullptr);
        stack::reg.top = stack::reg.base;
        stack::reg.base = saved_base;
    }
};

TEST_F(UrlTest, PercentDecoding) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"a%20b", "a b"},
        {"a%C3%A9", "a\xC3\xA9"},
        {"a%c3%a9", "a\xC3\xA9"},
        {"a%C3", "a%C3"},          // a lead escape without its continuation stays
        {"a%C3%", "a%C3%"},
        {"%E2%82%AC!", "\xE2\x82\xAC!"},
        {"%E2%82x", "%E2\xC2\x82x"},  // the lone continuation escape still decodes
        {"%zz%4", "%zz%4"},        // not two hexadecimal digits
        {"%41%2f", "A/"},
        {"%80", "\xC2\x80"},       // a lone continuation byte stands for its code point
        {"\xC3\xA9%20", "\xC3\xA9 "},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(decoded(c.in), c.out) << c.in;
    EXPECT_EQ(decoded("a%C3").size(), 4u);
    EXPECT_TRUE(test_support::raises(Err::access_invalid_utf8, [] { decoded("%C3%28"); }));
}

TEST_F(UrlTest, PercentEncodingAgainstPython) {
    const std::vector<std::string> samples = {
        "a/b", "a b", "abc-._~XYZ019", "!#$&'()*+,/:;=?@[]", "100%", "\"<>\\^`{|}",
        "caf\xC3\xA9", "\xE2\x82\xAC\xF0\x9F\x98\x80", "tab\there\x01\x7F",
    };
    for (const std::string& s : samples) {
        std::string py = "python3 -c \"import sys, urllib.parse as u; b=bytes.fromhex(sys.argv[1]); "
                         "print(u.quote(b, safe=''), u.quote(b, safe=\\\"!#\\$&'()*+,/:=?@\\\"))\" " +
                         hex(s);
        std::string out = run(py);
        ASSERT_FALSE(out.empty()) << s;
        std::string component = out.substr(0, out.find(' '));
        std::string mold = out.substr(out.find(' ') + 1);
        mold.pop_back();
        EXPECT_EQ(encoded(s, url::ENCODE_COMPONENT), component) << s;
        EXPECT_EQ(encoded(s, url::ENCODE_MOLD, T_URL), mold) << s;
        EXPECT_EQ(decoded(component), s);
    }
}

TEST_F(UrlTest, EnhexAndMold) {
    EXPECT_EQ(encoded("a/b", url::ENCODE_COMPONENT), "a%2Fb");
    EXPECT_EQ(encoded("a/b", url::ENCODE_MOLD, T_URL), "a/b");
    char out[3];
    EXPECT_EQ(url::encode_byte(url::ENCODE_MOLD, 'a', out), 1u);
    EXPECT_EQ(url::encode_byte(url::ENCODE_MOLD, 0xE9, out), 3u);
    EXPECT_EQ(std::string(out, 3), "%E9");
    EXPECT_EQ(molded(text("http://h/a b", T_URL)), "http://h/a%20b");
    EXPECT_EQ(molded(text("x\xC3\xA9", T_URL)), "x%C3%A9");
    Cell part = integer(4);
    EXPECT_EQ(molded(text("a bcdef", T_URL), &part, 4), "a%20");
    uint8_t byte = 0;
    const uint8_t good[] = "%7e", bad[] = "%7";
    EXPECT_TRUE(url::decode_escape(good, good + 3, &byte));
    EXPECT_EQ(byte, 0x7E);
    EXPECT_FALSE(url::decode_escape(bad, bad + 2, &byte));
}

// What mold writes, the lexer reads back as the same url.
TEST_F(UrlTest, MoldLoadsBackAsTheSameUrl) {
    const char* urls[] = {
        "http://h/a b", "http://h/x\xC3\xA9\xE2\x82\xAC", "http://h/100%", "ftp://u@h:21/p?q=1&r=2#f",
        "http://h/a\"b<c>", "http://h/[x]{y};z", "http://h/(a)b)",
    };
    Cell* top = stack::reg.top;
    for (const char* u : urls) {
        std::string text_form = molded(text(u, T_URL));
        SCOPED_TRACE(text_form);
        Cell block;
        ASSERT_NO_THROW(block = lexer::load_text(text_form.data(), text_form.size()));
        SeriesBuffer* b = node::buffer(cell::series_node(&block));
        ASSERT_EQ(series::length(b), 1u);
        Cell loaded = series::cells(b)[0];
        EXPECT_EQ(cell::type(&loaded), uint32_t(T_URL));
        EXPECT_EQ(utf8_of(loaded), u);
        stack::reg.top = top;
    }
}

TEST_F(UrlTest, MakeFromBlock) {
    Cell type;
    cell::make_datatype(&type, T_URL);
    struct Case {
        std::vector<Cell> values;
        const char* expected;
    };
    const Case cases[] = {
        {{word::intern("http"), word::intern("h"), integer(8080), word::intern("a"), word::intern_as("b", T_ISSUE)},
         "http://h:8080/a#b"},
        {{word::intern("http"), word::intern("h"), integer(8080)}, "http://h:8080"},
        {{word::intern("ftp"), text("host"), text("dir"), text("f.txt")}, "ftp://host/dir/f.txt"},
        {{word::intern("http"), word::intern("h")}, "http://h/"},
    };
    for (const Case& c : cases) {
        Cell spec = block_of(c.values);
        const Cell* made = url::make(&type, &spec, T_URL);
        EXPECT_EQ(cell::type(made), T_URL);
        EXPECT_EQ(utf8_of(*made), c.expected);
        EXPECT_EQ(utf8_of(*url::to(&type, &spec, T_URL)), c.expected);
    }
    Cell empty = block_of({});
    EXPECT_TRUE(test_support::raises(Err::script_bad_to_arg, [&] { url::make(&type, &empty, T_URL); }));
    Cell from_text = text("http://x");
    EXPECT_EQ(utf8_of(*url::to(&type, &from_text, T_URL)), "http://x");
}

TEST_F(UrlTest, PathAccess) {
    struct Case {
        const char* base;
        Cell element;
        const char* expected;
    };
    const Case cases[] = {
        {"http://h/", text("/a"), "http://h/a"},
        {"http://h/", word::intern("a"), "http://h/a"},
        {"http://h", word::intern("a"), "http://h/a"},
        {"http://h", text("/a"), "http://h/a"},
        {"http://h/x", integer(3), "http://h/x/3"},
    };
    for (const Case& c : cases) {
        Cell base = text(c.base, T_URL), element = c.element;
        const Cell* r = url::eval_path(&base, &element, nullptr, nullptr, nullptr, nullptr, 1, false, true,
                                       true, false);
        EXPECT_EQ(cell::type(r), T_URL);
        EXPECT_EQ(utf8_of(*r), c.expected);
        EXPECT_EQ(utf8_of(base), c.base);  // the url itself is unchanged
    }
    Cell base = text("http://h", T_URL), element = word::intern("a"), value = integer(1), path = base;
    EXPECT_TRUE(test_support::raises(Err::script_bad_path_set, [&] {
        url::eval_path(&base, &element, &value, &path, nullptr, nullptr, 1, false, false, true, false);
    }));
}

TEST_F(UrlTest, ReadAndWriteGoThroughTheHttpClient) {
    Cell u = text("http://127.0.0.1/x", T_URL);
    url::set_http_client(nullptr);
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { url::read(&u, nullptr, nullptr, false, false, false, nullptr); }));
    url::set_http_client(fake_http);
    last_call.answer_none = false;
    const Cell* r = url::read(&u, nullptr, nullptr, true, false, true, nullptr);
    EXPECT_EQ(utf8_of(*r), "response");
    EXPECT_EQ(last_call.method, "get");
    EXPECT_EQ(last_call.url, "http://127.0.0.1/x");
    EXPECT_EQ(last_call.body_type, uint32_t(T_NONE));
    EXPECT_TRUE(last_call.binary && !last_call.lines && last_call.info);
    Cell part = integer(1);
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { url::read(&u, &part, nullptr, false, false, false, nullptr); }));

    Cell body = text("data");
    url::write(&u, &body, false, false, false, false, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(last_call.method, "post");
    EXPECT_EQ(last_call.body_type, uint32_t(T_STRING));

    Cell request = block_of({word::intern("PUT"), block_of({}), text("b")});
    url::write(&u, &request, false, false, false, false, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(last_call.method, "put");  // the method by its canonical symbol
    EXPECT_EQ(last_call.headers_type, uint32_t(T_BLOCK));
    EXPECT_EQ(last_call.body_type, uint32_t(T_STRING));
    Cell empty = block_of({});
    url::write(&u, &empty, false, false, false, false, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(last_call.method, "get");

    Cell bad_method = block_of({integer(1)});
    Cell bad_headers = block_of({word::intern("post"), text("h")});
    Cell bad_body = block_of({word::intern("post"), block_of({}), integer(1)});
    Cell number = integer(5);
    for (Cell* data : {&bad_method, &bad_headers, &bad_body, &number}) {
        EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] {
            url::write(&u, data, false, false, false, false, nullptr, nullptr, nullptr, nullptr);
        }));
    }
    last_call.answer_none = true;
    EXPECT_TRUE(test_support::raises(Err::access_no_connect,
                                     [&] { url::read(&u, nullptr, nullptr, false, false, false, nullptr); }));
}

TEST_F(UrlTest, OtherSchemesNeedAPort) {
    Cell u = text("ftp://h/x", T_URL);
    url::set_port_maker(nullptr);
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { url::read(&u, nullptr, nullptr, false, false, false, nullptr); }));
    url::set_port_maker([](const Cell*, Cell*) { return false; });
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { url::open(&u, false, false, false, false, nullptr); }));
}

}  // namespace
