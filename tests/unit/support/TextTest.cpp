#include "support/Text.h"

#include <gtest/gtest.h>

namespace zul {
namespace {

TEST(IsBlank, OnlyTheSpaceCounts)
{
    struct Case
    {
        const char16_t* text;
        bool blank;
    };
    for (const Case c : {Case{u"", true}, Case{u" ", true}, Case{u"   ", true}, Case{u" a ", false},
                         Case{u"\t", false}, Case{u" \u00a0", false}, Case{u"211", false}})
        EXPECT_EQ(IsBlank(QString::fromUtf16(c.text)), c.blank) << QString::fromUtf16(c.text).toStdString();
}

} // namespace
} // namespace zul
