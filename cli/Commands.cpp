#include "cli/Commands.h"

#include "cli/FormatCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/ServiceCommand.h"
#include "cli/StatusCommand.h"
#include "cli/SyncCommand.h"

namespace kestrava::cli {
namespace {

constexpr Command kCommands[] = {
    {.name = "login",
     .synopsis = "login",
     .help = "sign in and print the access token",
     .run = RunLogin},
    {.name = "accounts",
     .synopsis = "accounts",
     .help = "sign in and print the bank accounts",
     .run = RunAccounts},
    {.name = "transactions",
     .synopsis = "transactions (--from T --to T | --last HOURS) [--account N]",
     .help = "sign in and print every transaction of the range,\n"
             "page after page",
     .check = CheckTransactions,
     .run = RunTransactions},
    {.name = "sync",
     .synopsis = "sync [--from T] [--overlap HOURS] [--account N]",
     .help = "sign in and read the accounts and every transaction\n"
             "from T (else from the end of what the store covers,\n"
             "less the overlap) up to now into the local store",
     .run = RunSync},
    {.name = "history",
     .synopsis = "history transactions [--from T --to T|--last HOURS] [--account N] [--partial]",
     .help = "print the transactions the store holds, as\n"
             "transactions prints them, without the network; a\n"
             "range that successful syncs did not wholly cover\n"
             "fails unless --partial is given\n"
             "history accounts: the accounts of the latest\n"
             "successful sync",
     .arguments = 1,
     .check = CheckHistory,
     .run = RunHistory},
    {.name = "status",
     .synopsis = "status [--max-age HOURS]",
     .help = "print what the store holds of each source and how\n"
             "its syncs went",
     .check = CheckStatus,
     .run = RunStatus},
    {.name = "format",
     .synopsis = "format [FILE]",
     .help = "print the JSON text of FILE in the output format\n"
             "(without FILE or with \"-\": standard input)",
     .arguments = 1,
     .argumentCompletion = ValueCompletion::File,
     .run = RunFormat},
};

}  // namespace

std::span<const Command> Commands() {
  return kCommands;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace kestrava::cli
