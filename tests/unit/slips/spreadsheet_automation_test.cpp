// Tests of the late-bound automation layer: by-name dispatch, values and the server registry.
#include "spreadsheet_automation.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace quenly {
namespace {

// An object with one member "Echo" that counts look-ups and returns its first argument.
class EchoObject : public AutomationObject {
public:
    mutable std::vector<std::string> lookups;
    std::vector<CallKind> kinds;

    int memberId(std::string_view name) const override {
        lookups.emplace_back(name);
        return name == "Echo" || name == "echo" ? 7 : -1;
    }
    Variant invoke(int memberId, CallKind kind, std::span<const Variant> args) override {
        EXPECT_EQ(memberId, 7);
        kinds.push_back(kind);
        return args.empty() ? Variant() : args.back();
    }
};

TEST(Dispatch, LooksTheMemberUpByNameAtEveryCall) {
    auto object = std::make_shared<EchoObject>();
    Dispatch d(object);
    EXPECT_EQ(d.get("Echo", Variant(5)), Variant(5));
    d.put("echo", Variant("x"));
    const Variant args[] = {Variant(true)};
    EXPECT_EQ(d.call("Echo", args), Variant(true));
    EXPECT_EQ(object->lookups, (std::vector<std::string>{"Echo", "echo", "Echo"}));
    EXPECT_EQ(object->kinds, (std::vector<CallKind>{CallKind::PropertyGet, CallKind::PropertyPut,
                                                    CallKind::Method}));
}

TEST(Dispatch, UnknownMemberErrorNamesTheMember) {
    Dispatch d(std::make_shared<EchoObject>());
    try {
        d.call("Frobnicate");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("Frobnicate"), std::string::npos) << e.what();
    }
    EXPECT_THROW(Dispatch().get("Echo"), AutomationError);
    EXPECT_THROW(d.getObject("Echo", Variant(1)), AutomationError) << "not an object";
}

TEST(VariantToText, Forms) {
    EXPECT_EQ(variantToText(Variant()), "");
    EXPECT_EQ(variantToText(Variant(true)), "TRUE");
    EXPECT_EQ(variantToText(Variant(false)), "FALSE");
    EXPECT_EQ(variantToText(Variant(std::int32_t{-42})), "-42");
    EXPECT_EQ(variantToText(Variant(2.5)), "2.5");
    EXPECT_EQ(variantToText(Variant(0.1)), "0.1");
    EXPECT_EQ(variantToText(Variant(1e20)), "1e+20");
    EXPECT_EQ(variantToText(Variant(" ")), " ");
    EXPECT_EQ(variantToText(Variant("")), "");
    EXPECT_EQ(variantToText(Variant("张三")), "张三");
    EXPECT_THROW(variantToText(Variant(CellErrorCode::NA)), AutomationError);
    EXPECT_THROW(
        variantToText(Variant(std::shared_ptr<AutomationObject>(std::make_shared<EchoObject>()))),
        AutomationError);
}

TEST(VariantAccessors, WrongTypeThrows) {
    EXPECT_THROW(Variant("1").toInt(), AutomationError);
    EXPECT_THROW(Variant(1).text(), AutomationError);
    EXPECT_EQ(Variant(std::int32_t{3}).toDouble(), 3.0);
    EXPECT_EQ(Variant(true).toDouble(), -1.0);
    EXPECT_EQ(cellErrorText(CellErrorCode::Div0), "#DIV/0!");
}

TEST(ServerRegistry, StartsNewInstancesByProgId) {
    ServerRegistry registry;
    int started = 0;
    registry.registerServer("Excel.Application", [&] {
        ++started;
        return std::make_shared<EchoObject>();
    });
    Dispatch a = registry.start("excel.application");
    Dispatch b = registry.start(kSpreadsheetProgId);
    EXPECT_EQ(started, 2);
    EXPECT_NE(a.object(), b.object());
    EXPECT_THROW(registry.start("Other.Application"), AutomationError);

    registry.registerServer("Broken.Application", []() -> std::shared_ptr<AutomationObject> {
        throw AutomationError("坏了");
    });
    try {
        registry.start("Broken.Application");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("坏了"), std::string::npos);
    }
}

} // namespace
} // namespace quenly
