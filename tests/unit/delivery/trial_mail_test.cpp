// A trial mail to oneself: the person's own mail, subject, body and locked slip, sent elsewhere.
#include "delivery_fixture.h"
#include "mail_delivery.h"
#include "mail_mime.h"
#include "qpdf_probe.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>

namespace quenly::delivery {
namespace {

// The attachment of `message`: the base64 lines after the PDF part's headers, decoded.
std::string attachmentOf(const std::string& message) {
    const std::size_t part = message.find("Content-Type: application/pdf");
    const std::size_t start = message.find("\r\n\r\n", part) + 4;
    const std::size_t end = message.find("\r\n--", start);
    std::string base64;
    for (std::size_t i = start; i < end; ++i) {
        if (message[i] != '\r' && message[i] != '\n') {
            base64.push_back(message[i]);
        }
    }
    std::string bytes(base64.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                  reinterpret_cast<const unsigned char*>(base64.data()),
                                  static_cast<int>(base64.size()));
    EXPECT_GT(n, 0);
    const std::size_t padding = base64.size() - base64.find_last_not_of('=') - 1;
    bytes.resize(static_cast<std::size_t>(n) - padding);
    return bytes;
}

TEST(TrialMailTest, CarriesThePersonsOwnLockedSlipToAnotherAddress) {
    test::TempDir dir;
    test::writeTable(dir / "t.xlsx");
    test::QuietHost host;
    const SlipRun run = runSlipExport(dir / "t.xlsx", test::header("1", "2", "A", "D"), host);
    MailColumns columns;
    columns.to = 3; // the IDs: no address, which a trial does not need
    columns.name = 0;
    columns.password = 3;
    columns.passwordLast = 3;
    const MailPlan plan = planMail(run, columns);
    MailSettings settings;
    settings.from = "payroll@example.com";
    settings.fromName = "财务部";
    settings.subject = "{姓名}的工资条";
    settings.body = "{姓名}，您好";
    MailDelivery delivery(run, plan, settings, MailDelivery::TemplateNames{"主题", "正文"});

    const std::string message = delivery.trialMessage(2, "财务部", "payroll@example.com");
    EXPECT_NE(message.find("\r\nTo: =?UTF-8?B?"), std::string::npos);
    EXPECT_NE(message.find("<payroll@example.com>"), std::string::npos);
    EXPECT_EQ(message.find("E003"), std::string::npos) << "sent to the person's cell instead";
    // Subject and body are the third person's own.
    EXPECT_EQ(delivery.subjectFor(plan.recipients[2]), "李四的工资条");
    EXPECT_NE(message.find("Subject: " + mime::headerText("李四的工资条", 9)), std::string::npos);
    const std::string pdf = attachmentOf(message);
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    // Locked as that person's slip is: with the last three characters of their ID alone.
    EXPECT_TRUE(test::probePdf(pdf, "003").has_value());
    EXPECT_FALSE(test::probePdf(pdf, "001").has_value());
    EXPECT_FALSE(test::probePdf(pdf, "").has_value());
}

TEST(TrialMailTest, TemplatesAreNamedAsTheCallerCallsThem) {
    test::TempDir dir;
    test::writeTable(dir / "t.xlsx");
    test::QuietHost host;
    const SlipRun run = runSlipExport(dir / "t.xlsx", test::header("1", "2", "A", "D"), host);
    const MailPlan plan = planMail(run, MailColumns{});
    MailSettings settings;
    settings.subject = "工资条";
    settings.body = "{实发}";
    try {
        MailDelivery delivery(run, plan, settings, MailDelivery::TemplateNames{"主题", "正文"});
        FAIL() << "an unknown title was taken";
    } catch (const DeliveryError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("正文", 0), 0u) << what;
        EXPECT_NE(what.find("{实发}"), std::string::npos) << what;
    }
}

} // namespace
} // namespace quenly::delivery
