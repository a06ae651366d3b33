#include <gtest/gtest.h>

#include <string>

#include "station/station_report.h"

namespace quorvane::station {
namespace {

TEST(StationReport, TextOfAnyKindIsFitForXml) {
    struct Case {
        const char* name;
        std::string text;
        std::string characterData;
        std::string attributeValue;
    };
    const Case cases[] = {
        {"plain", "COM3", "COM3", "COM3"},
        {"markup", "<a href=\"x\">'&'</a>", "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;",
         "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;"},
        {"white space", "a\tb\nc\rd", "a\tb\nc&#13;d", "a&#9;b&#10;c&#13;d"},
        {"controls", std::string("a\x01\x1F\x7F", 4) + std::string(1, '\0') + "b",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\x7F\xEF\xBF\xBD"
         "b",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\x7F\xEF\xBF\xBD"
         "b"},
        {"not UTF-8", "\xE9t\xC0\xAF", "\xEF\xBF\xBDt\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBDt\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"non-characters", "\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"other scripts", "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4", "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4",
         "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlText(c.text), c.characterData);
        EXPECT_EQ(xmlAttribute(c.text), c.attributeValue);
    }
}

}  // namespace
}  // namespace quorvane::station
