// The workgroup listing and the start-up workgroup: the window asks the
// listing engine (discovery::Listing, made in assembly.cpp), which keeps the
// sources running and reads the browse list off this thread.
#include <QLineEdit>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "listing.h"

QString TForm1::ListComputers() {
  const discovery::Listing::Result result =
      deps_.listing->List(Bytes(workgroupname->text()),
                           [this](const std::string& caption) { ListView3->AddRow(Text(caption), {QString()}); });
  if (result.failed) deps_.ui->MessageBox(QStringLiteral("異常終了"));
  return result.status;
}

std::string TForm1::StartupWorkgroup() { return deps_.listing->StartupWorkgroup(); }
