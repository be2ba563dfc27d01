#include "companion.h"

namespace netlib {

base::Status CompanionLibrary::Load(const char* bareName) {
  FreeLibrary();
  const base::Result<void*> handle = dl_.Load(bareName);
  if (!handle)
    return base::Failure{kNotLoaded, "cannot load " + std::string(bareName) + " (" + handle.failure().text + ")"};
  handle_ = *handle;
  return base::Ok();
}

std::vector<std::string> CompanionLibrary::BindEntryPoints() {
  std::vector<std::string> missing;
  void* found[kEntryPoints.size()] = {};
  for (size_t i = 0; i < kEntryPoints.size(); ++i) {
    found[i] = handle_ ? dl_.Find(handle_, kEntryPoints[i]) : nullptr;
    if (!found[i]) missing.emplace_back(kEntryPoints[i]);
  }
  pingresult = reinterpret_cast<PingResultFn>(found[0]);
  nametoip = reinterpret_cast<ConvFn>(found[1]);
  iptoname = reinterpret_cast<ConvFn>(found[2]);
  init = reinterpret_cast<InitFn>(found[3]);
  connectpc = reinterpret_cast<ConvFn>(found[4]);
  nametoipfrom = handle_ ? reinterpret_cast<NameToIpFromFn>(dl_.Find(handle_, kOptionalNameToIpFrom)) : nullptr;
  return missing;
}

netinfo::NameSource SourceFromLibrary(int32_t code) {
  using netinfo::NameSource;
  switch (code) {
    case MIRELKA_FROM_DOTTED:
      return NameSource::kDotted;
    case MIRELKA_FROM_DNS:
      return NameSource::kDns;
    case MIRELKA_FROM_NETBIOS:
      return NameSource::kNetbios;
    case MIRELKA_FROM_MDNS:
      return NameSource::kMdns;
    case MIRELKA_FROM_LLMNR:
      return NameSource::kLlmnr;
    default:
      return NameSource::kSystem;
  }
}

namespace {

template <size_t N>
base::Result<std::string> Answer(uint16_t code, const ConvBuffer<N>& buffer) {
  if (code != 0) return base::Failure{code, buffer.Output()};
  return buffer.Output();
}

}  // namespace

base::Result<std::string> Convert(ConvFn fn, std::string_view input) {
  ConvBuffer<256> buffer;
  buffer.SetInput(input);
  return Answer(Call(fn, buffer), buffer);
}

base::Result<std::string> AddressIfReachable(const CompanionLibrary& library, std::string_view name) {
  ConvBuffer<256> buffer;
  buffer.SetInput(name);
  const uint16_t code = Call(library.connectpc, buffer);
  if (code != 0) return base::Failure{code, buffer.Output()};
  // What the check wrote is looked up in turn; the list shows the output
  // whatever the lookup answers.
  static_cast<void>(Call(library.nametoip, buffer));
  return buffer.Output();
}

base::Result<std::string> Check(const CompanionLibrary& library, std::string_view name) {
  ConvBuffer<512> buffer;
  buffer.SetInput(name);
  return Answer(Call(library.connectpc, buffer), buffer);
}

base::Result<netinfo::ResolvedHost> ResolveName(const CompanionLibrary& library, std::string_view name) {
  ConvBuffer<512> buffer;
  buffer.SetInput(name);
  const std::string input = buffer.Output();
  int32_t from = MIRELKA_FROM_SYSTEM;
  const uint16_t code = library.nametoipfrom ? library.nametoipfrom(buffer.data(), decltype(buffer)::kSizeArg, &from)
                                             : Call(library.nametoip, buffer);
  if (code != 0) return base::Failure{code, buffer.Output()};
  netinfo::ResolvedHost host;
  host.address = buffer.Output();
  if (!library.nametoipfrom && host.address == input) from = MIRELKA_FROM_DOTTED;
  host.source = SourceFromLibrary(from);
  return host;
}

base::Status Reaches(const CompanionLibrary& library, std::string_view address) {
  ConvBuffer<256> buffer;
  buffer.SetInput(address);
  if (const uint16_t code = Call(library.connectpc, buffer); code != 0) return base::Failure{code, buffer.Output()};
  return base::Ok();
}

std::string Shown(const base::Result<std::string>& answer) { return answer ? *answer : "Err " + answer.failure().text; }

void CompanionLibrary::FreeLibrary() {
  if (!handle_) return;
  pingresult = nullptr;
  nametoip = iptoname = connectpc = nullptr;
  nametoipfrom = nullptr;
  init = nullptr;
  dl_.Free(handle_);
  handle_ = nullptr;
}

ConversionStep NextConversionStep(bool nameFilled, bool addressFilled, std::optional<ConversionStep> ended) {
  if (!ended) {
    if (nameFilled && addressFilled) return ConversionStep::kBothFilled;
    return nameFilled ? ConversionStep::kAddressFromName : ConversionStep::kNameFromAddress;
  }
  if (*ended == ConversionStep::kNameFromAddress && !addressFilled) return ConversionStep::kAddressFromName;
  return ConversionStep::kDone;
}

}  // namespace netlib
