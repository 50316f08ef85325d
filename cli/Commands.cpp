#include "cli/Commands.h"

#include "cli/FormatCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/SecretCommand.h"
#include "cli/ServiceCommand.h"
#include "cli/StatusCommand.h"
#include "cli/SyncCommand.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view kHistoryArguments[] = {"transactions", "accounts"};
constexpr std::string_view kSecretArguments[] = {"set", "clear", "status"};

constexpr Command kCommands[] = {
    {.name = "login",
     .synopsis = "login",
     .help = "sign in and print the access token",
     .run = RunLogin},
    {.name = "accounts",
     .synopsis = "accounts",
     .help = "sign in and print the bank accounts",
     .sheet = "accounts",
     .run = RunAccounts},
    {.name = "transactions",
     .synopsis = "transactions (--from T --to T | --day DATE | --last HOURS) [--account N]",
     .help = "sign in and print every transaction of the range,\n"
             "page after page",
     .sheet = "transactions",
     .check = CheckTransactions,
     .run = RunTransactions},
    {.name = "sync",
     .synopsis = "sync [--from T] [--overlap HOURS] [--account N]",
     .help = "sign in and read the accounts and every transaction\n"
             "from T (else from the end of what the store covers,\n"
             "less the overlap) up to now into the local store",
     .run = RunSync},
    {.name = "history",
     .synopsis = "history (transactions [RANGE] [--account N] [--partial] | accounts)",
     .help = "print from the store, without the network, what the\n"
             "commands of those names print: the transactions (of\n"
             "RANGE: --from T --to T, --day DATE or --last HOURS;\n"
             "else all of them), or the accounts of the latest\n"
             "successful sync. A range that successful syncs did\n"
             "not wholly cover fails unless --partial is given",
     .arguments = 1,
     // history accounts writes on a sheet of its own name (see RunHistory).
     .sheet = "transactions",
     .argumentChoices = kHistoryArguments,
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
     .sheet = "records",
     .argumentCompletion = ValueCompletion::File,
     .run = RunFormat},
    {.name = "secret",
     .synopsis = "secret (set | clear | status)",
     .help = "the client secret in the keyring of the desktop\n"
             "session: set stores the first line of standard input\n"
             "(typed without echo on a terminal), clear removes it,\n"
             "status says whether --keyring would find one (exit 0)\n"
             "or not (exit 1); never prints the secret",
     .arguments = 1,
     .argumentChoices = kSecretArguments,
     .check = CheckSecret,
     .run = RunSecret},
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
