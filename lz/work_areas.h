// Inside the engine: the work areas and block buffers, one slot of each kind, kept while
// KeepWorkAreas is on. Every run sets up what it reads, so an area's old content never matters.
#pragma once

#include <memory>
#include <utility>

namespace lz {

bool KeepingWorkAreas();

namespace detail {

class AreaSlot {
 public:
  AreaSlot();
  AreaSlot(const AreaSlot&) = delete;
  AreaSlot& operator=(const AreaSlot&) = delete;
  virtual void Drop() = 0;

 protected:
  ~AreaSlot() = default;
};

void DropKeptAreas();  // of every slot
void CountNewArea();   // for lz::testing::NewWorkAreas

}  // namespace detail

template <typename Area>
class AreaPool final : public detail::AreaSlot {
 public:
  // The kept area, or a new one (std::bad_alloc when there is no memory for it).
  std::unique_ptr<Area> Take() {
    if (kept_) return std::move(kept_);
    std::unique_ptr<Area> area = std::make_unique_for_overwrite<Area>();
    detail::CountNewArea();
    return area;
  }
  void Give(std::unique_ptr<Area> area) {
    if (area && KeepingWorkAreas()) kept_ = std::move(area);
  }
  void Drop() override { kept_.reset(); }

  // An area for one scope, given back when the scope ends.
  class Lease {
   public:
    explicit Lease(AreaPool& pool) : pool_(pool), area_(pool.Take()) {}
    ~Lease() { pool_.Give(std::move(area_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Area& operator*() const { return *area_; }
    Area* operator->() const { return area_.get(); }

   private:
    AreaPool& pool_;
    std::unique_ptr<Area> area_;
  };

 private:
  std::unique_ptr<Area> kept_;
};

}  // namespace lz
