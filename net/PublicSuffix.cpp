#include "net/PublicSuffix.h"

#include <libpsl.h>

#include <memory>
#include <string>

namespace kestrava::net {

namespace {

struct PslFree {
  void operator()(psl_ctx_t* context) const noexcept { psl_free(context); }
};

const psl_ctx_t* List() {
  // psl_latest picks the newer of the system's list and the built-in one.
  static const std::unique_ptr<psl_ctx_t, PslFree> latest(psl_latest(nullptr));
  return latest ? latest.get() : psl_builtin();
}

}  // namespace

bool IsPublicSuffix(std::string_view name) {
  const psl_ctx_t* list = List();
  // Without any list, every name counts as a suffix: no cookie reaches
  // beyond the host that set it.
  if (list == nullptr) return true;
  const std::string text(name);
  return psl_is_public_suffix(list, text.c_str()) != 0;
}

}  // namespace kestrava::net
