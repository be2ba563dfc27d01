#include "krb5_cache.h"

#include <krb5.h>

namespace netinfo {

bool HasKerberosTicketCache() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return false;
  bool found = false;
  krb5_ccache cache = nullptr;
  if (krb5_cc_default(context, &cache) == 0) {
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context, cache, &principal) == 0) {
      found = true;
      krb5_free_principal(context, principal);
    }
    krb5_cc_close(context, cache);
  }
  krb5_free_context(context);
  return found;
}

}  // namespace netinfo
