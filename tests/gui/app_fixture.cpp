#include "app_fixture.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <chrono>
#include <cstring>
#include <thread>
#include <mutex>
#include <system_error>
#include <thread>

#include "TListView.h"
#include "cp932.h"

namespace {

FakeCompanion* current = nullptr;
std::mutex callLog;  // the share tree calls from its workers

std::string Input(const char* buffer, int32_t size) {
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(size) + 1));
}

uint16_t Dispatch(const char* name, FakeCompanion::Conv& fn, char* buffer, int32_t size) {
  {
    const std::lock_guard<std::mutex> lock(callLog);
    current->calls.push_back(std::string(name) + ":" + Input(buffer, size));
    current->sizes.push_back(size);
  }
  return fn ? fn(buffer, size) : uint16_t{1};
}

uint16_t FakeNametoip(char* b, int32_t s) { return Dispatch("nametoip", current->nametoip, b, s); }
uint16_t FakeIptoname(char* b, int32_t s) { return Dispatch("iptoname", current->iptoname, b, s); }
uint16_t FakeConnectpc(char* b, int32_t s) { return Dispatch("connectpc", current->connectpc, b, s); }
int32_t FakeInit() {
  ++current->initCalls;
  if (current->events) current->events->push_back("init");
  return 0;
}
int32_t FakePingresult() { return -1; }

}  // namespace

void RecordingUi::MessageBox(const QString& text) {
  boxes.append(text);
  if (onMessage) onMessage();
}

void RecordingUi::ErrorBox(const QString& text) {
  errorBoxes.append(text);
  if (onError) onError();
}

void RecordingUi::ProcessMessages() {
  ++pumps;
  QCoreApplication::processEvents();
  if (onPump) onPump();
}

void RecordingUi::WaitForMessages() {
  ++waits;
  if (!clock) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  } else if (QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents)) {
    settled = false;
  } else if (discovery::Listing::ReadsRunning() > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a worker's result is due: look again
    settled = false;
  } else if (!settled) {
    // A worker's hand-over is a posted event, which Qt on Windows may leave
    // for a later turn of the loop: it is delivered, and the caller has a
    // turn to take it in, before time moves.
    QCoreApplication::sendPostedEvents();
    settled = true;
  } else {
    clock->Next();
    settled = false;
  }
  if (onPump) onPump();
}

FakeCompanion::Conv FakeCompanion::Answer(uint16_t result, std::string text) {
  return [result, text](char* buffer, int32_t size) {
    const size_t n = std::min(text.size(), static_cast<size_t>(size));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return result;
  };
}

base::Result<void*> FakeDynamicLibrary::Load(const char* bareName) {
  loadedName = bareName;
  if (!loadable) return base::Failure{2, "No such file or directory"};
  return static_cast<void*>(this);
}

void* FakeDynamicLibrary::Find(void*, const char* symbol) {
  const std::string name(symbol);
  if (missing.count(name)) return nullptr;
  if (name == "nametoip") return reinterpret_cast<void*>(&FakeNametoip);
  if (name == "iptoname") return reinterpret_cast<void*>(&FakeIptoname);
  if (name == "connectpc") return reinterpret_cast<void*>(&FakeConnectpc);
  if (name == "init") return reinterpret_cast<void*>(&FakeInit);
  if (name == "pingresult") return reinterpret_cast<void*>(&FakePingresult);
  return nullptr;
}

void FakeDynamicLibrary::Free(void*) {
  ++freed;
  if (onFree) onFree();
  if (events) events->push_back("free");
}

AppFixture::AppFixture() {
  current = &companion;
  companion.events = &events;
  dynlib.events = &events;
  sockets.SetHostName("testhost");
}

AppFixture::~AppFixture() {
  form_.reset();
  engines_.reset();
  discovery::Listing::WaitForReads(10000);  // a background browse read uses the provider
  current = nullptr;
}

TForm1& AppFixture::Open() {
  Seams seams;
  seams.ui = &ui;
  seams.provider = systemProvider ? systemProvider : &provider;
  seams.sockets = &sockets;
  seams.dynlib = &dynlib;
  seams.libraryName = "libfake.so";
  if (withSources) {
    seams.wsDiscovery = &wsd;
    seams.dnsSd = &dnsSd;
    seams.nodeStatus = &nodeStatus;
  }
  seams.sambaConfigPath = sambaConfigPath;
  seams.clock = clock;
  seams.consents = consents.get();
  if (consents) seams.loginRelay = &relay;
  // Read at each call, so that a test may script it after opening.
  if (smbProbe) seams.smbProbe = [this](const std::string& address) { return smbProbe(address); };
  ui.clock = clock;
  if (clock) wsd.clock = dnsSd.clock = nodeStatus.clock = clock;
  seams.startThread = [this](std::function<void()> fn) {
    if (threadsFail) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(fn));
  };
  return Open(seams);
}

TForm1& AppFixture::Open(const Seams& seams) {
  Close();
  engines_ = std::make_unique<Engines>(seams);
  form_ = std::make_unique<TForm1>(FormDepsFor(*engines_, ListPath()));
  return *form_;
}

void AppFixture::Close() {
  // Shutdown writes the list, then frees the library: note whether the file
  // is there when the library goes.
  dynlib.events = &events;
  form_.reset();
  engines_.reset();
}

std::string AppFixture::ListPath() const { return dir_.filePath("mirelka.ini").toStdString(); }

void AppFixture::WriteListFile(const std::string& bytes) const {
  QFile f(QString::fromStdString(ListPath()));
  f.open(QIODevice::WriteOnly);
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string AppFixture::ReadListFile() const {
  QFile f(QString::fromStdString(ListPath()));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll().toStdString();
}

bool AppFixture::ListFileExists() const { return QFile::exists(QString::fromStdString(ListPath())); }

QStringList Captions(const TForm1& form) {
  QStringList out;
  for (int i = 0; i < form.ListView3->RowCount(); ++i) out.append(form.ListView3->Caption(i));
  return out;
}

QStringList Addresses(const TForm1& form) {
  QStringList out;
  for (int i = 0; i < form.ListView3->RowCount(); ++i) out.append(form.ListView3->SubItem(i));
  return out;
}

std::string Cp932(const char* utf8) { return cp932::Text(utf8); }

bool UnderWine() {
  QLibrary ntdll(QStringLiteral("ntdll"));
  return ntdll.resolve("wine_get_version") != nullptr;
}
