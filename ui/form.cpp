#include "ui/form.h"

#include "app/reports.h"
#include "backup/backup.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/restore.h"
#include "search/auto_search.h"

namespace ui {

void Run(Handler handler, app::WindowSeam& window) {
  switch (handler) {
    case Handler::kNone:
      return;
    case Handler::kBackupClick:
      backup::BackupClick(window);
      return;
    case Handler::kRestoreClick:
      backup::RestoreClick(window);
      return;
    case Handler::kCheckUINClick:
      backup::CheckUINClick(window);
      return;
    case Handler::kCheckDateClick:
      backup::CheckDateClick(window);
      return;
    case Handler::kLabel2Click:
      search::Label2Click(window);
      return;
    case Handler::kLabel4Click:
      app::Label4Click(window);
      return;
    case Handler::kAboutClick:
      app::AboutClick(window);
      return;
    case Handler::kClearScreenClick:
      app::ClearScreenClick(window);
      return;
  }
}

}  // namespace ui
