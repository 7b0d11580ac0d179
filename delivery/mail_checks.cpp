// The checks made before any mail is sent.
#include "mail_checks.h"

#include "slip_documents.h"
#include "text_util.h"

#include <map>

namespace quenly::delivery {

std::size_t MailPlan::withProblems() const {
    std::size_t n = 0;
    for (const Recipient& r : recipients) {
        n += r.problems.empty() ? 0 : 1;
    }
    return n;
}

MailPlan planMail(const SlipRun& run, const MailColumns& columns) {
    MailPlan plan;
    const std::vector<std::string> names = slipFileNames(run, columns.name);
    std::map<std::string, std::vector<std::size_t>> byAddress;
    for (std::size_t i = 0; i < run.persons().size(); ++i) {
        const Person& person = run.persons()[i];
        Recipient r;
        r.person = person;
        r.address = run.shown(person, columns.to);
        r.attachmentName = names[i];
        if (columns.name) {
            r.name = run.shown(person, *columns.name);
            if (r.name.empty()) {
                r.problems.push_back("姓名单元格是空的");
            }
        }
        if (const auto problem = addressProblem(r.address)) {
            r.problems.push_back(r.address.empty() ? *problem
                                                   : "邮箱地址“" + addressForDisplay(r.address) +
                                                         "”：" + *problem);
        } else {
            byAddress[wb::lowerAscii(r.address)].push_back(i);
        }
        if (columns.password) {
            r.locked = true;
            r.password = passwordOf(run.shown(person, *columns.password), columns.passwordLast);
            if (r.password.empty()) {
                r.problems.push_back("密码单元格是空的，无法给 PDF 加密");
            }
        }
        plan.recipients.push_back(std::move(r));
    }
    for (const auto& [address, indexes] : byAddress) {
        if (indexes.size() < 2) {
            continue;
        }
        for (std::size_t i : indexes) {
            // At most three rows by number: a table where everybody shares one address must
            // not make a line per pair.
            std::string others;
            std::size_t named = 0;
            for (std::size_t j : indexes) {
                if (named == 3) {
                    break;
                }
                if (j != i) {
                    others += (others.empty() ? "第 " : "、第 ") +
                              std::to_string(plan.recipients[j].person.sourceRow) + " 行";
                    ++named;
                }
            }
            if (indexes.size() - 1 > named) {
                others += "等共 " + std::to_string(indexes.size() - 1) + " 行";
            }
            plan.recipients[i].problems.push_back("邮箱地址与" + others + "相同");
        }
    }
    return plan;
}

} // namespace quenly::delivery
