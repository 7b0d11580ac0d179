// quenly-batch --each: runs the export, checks every person's name and password before anything
// is written, then writes each person's slip as a PDF, all files or none.
#include "each_command.h"

#include "batch_host.h"
#include "column_choice.h"
#include "slip_documents.h"
#include "slip_folder.h"
#include "slip_run.h"

#include "cell_names.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace quenly::batch {

namespace {

using delivery::DeliveryError;
using delivery::Person;
using delivery::SlipRun;

std::string rowOf(const Person& p) {
    return "第 " + std::to_string(p.sourceRow) + " 行";
}

} // namespace

int runEach(const Arguments& args) {
    delivery::SlipFolder folder(*args.each, args.overwrite);
    try {
        folder.inTheWay({});
    } catch (const DeliveryError& e) {
        std::cerr << "quenly-batch：" << e.what() << "\n";
        return 2;
    }

    BatchHost host(args.source);
    std::optional<SlipRun> run;
    try {
        run.emplace(delivery::runSlipExport(args.source, exportSettingsOf(args), host));
    } catch (const DeliveryError& e) {
        host.endProgressLine();
        std::cerr << "quenly-batch：" << e.what() << "\n";
        return 1;
    }
    host.endProgressLine();
    const std::vector<Person>& persons = run->persons();
    if (persons.empty()) {
        std::cerr << "quenly-batch：" << noPersonsText(run->options()) << "没有生成任何 PDF。\n";
        return 1;
    }

    const auto nameColumn = columnOrSay(*run, "--name-col", *args.nameCol);
    if (!nameColumn) {
        return 2;
    }
    std::optional<std::uint32_t> passwordColumn;
    if (args.passwordCol) {
        passwordColumn = columnOrSay(*run, "--password-col", *args.passwordCol);
        if (!passwordColumn) {
            return 2;
        }
    }

    // Every check comes before the first file: a missing password, a file in the way.
    std::vector<std::string> passwords;
    if (passwordColumn) {
        std::vector<std::string> empty;
        for (const Person& p : persons) {
            const std::string cell = run->shown(p, *passwordColumn);
            if (cell.empty()) {
                const std::string name = run->shown(p, *nameColumn);
                empty.push_back(rowOf(p) + (name.empty() ? "" : "（" + name + "）"));
            }
            passwords.push_back(delivery::passwordOf(cell, args.passwordLast));
        }
        if (!empty.empty()) {
            std::cerr << "quenly-batch：以下人员的密码单元格（"
                      << cells::columnName(*passwordColumn) << " 列）是空的：" << listOf(empty)
                      << "。请填上密码后再试；没有写入任何文件。\n";
            return 1;
        }
    }
    const std::vector<std::string> names = delivery::slipFileNames(*run, nameColumn);

    try {
        const std::vector<std::string> taken = folder.inTheWay(names);
        if (!taken.empty()) {
            std::cerr << "quenly-batch：文件夹“" << *args.each << "”中已有：" << listOf(taken)
                      << (args.overwrite ? "。它们不是普通文件，不能覆盖"
                                         : "。加上 --overwrite 可覆盖这些文件，或另选文件夹")
                      << "；没有写入任何文件。\n";
            return 1;
        }
        folder.make();
        std::size_t written = 0;
        delivery::makeSlipPdfs(*run, passwords, [&](std::size_t i, std::string pdf) {
            folder.put(names[i], pdf);
            host.showCount("正在生成每人的 PDF", ++written, persons.size(), "人");
        });
        folder.commit();
    } catch (const DeliveryError& e) {
        host.endProgressLine();
        std::cerr << "quenly-batch：" << e.what() << "；没有写入任何文件。\n";
        return 1;
    }
    host.endProgressLine();
    std::cout << "已为 " << persons.size() << " 人各生成一个 PDF"
              << (passwordColumn ? "（已加密）" : "") << "，存入“" << *args.each << "”\n";
    return 0;
}

} // namespace quenly::batch
