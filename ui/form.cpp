#include "ui/form.h"

#include <algorithm>

#include "backup/backup.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/restore.h"
#include "search/auto_search.h"

namespace ui {

void BackupClick(app::WindowSeam& window) { backup::BackupClick(window); }
void RestoreClick(app::WindowSeam& window) { backup::RestoreClick(window); }
void CheckUINClick(app::WindowSeam& window) { backup::CheckUINClick(window); }
void CheckDateClick(app::WindowSeam& window) { backup::CheckDateClick(window); }
void Label2Click(app::WindowSeam& window) { search::Label2Click(window); }

std::vector<std::size_t> TabOrder() {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < std::size(kForm); ++i) {
    if (kForm[i].tab >= 0) order.push_back(i);
  }
  std::ranges::sort(order, {}, [](std::size_t i) { return kForm[i].tab; });
  return order;
}

}  // namespace ui
