#pragma once
// Whether this user holds Kerberos tickets, asked of the krb5 library: the
// cache it would use (KRB5CCNAME, else the configured default, of any type:
// FILE, DIR, KEYRING or KCM) exists and names a principal.
namespace netinfo {

bool HasKerberosTicketCache();

}  // namespace netinfo
