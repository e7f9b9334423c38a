// Today and now. Aging, due dates and time stamps read the clock; tests pin it.
#pragma once

namespace invarro::platform {

struct LocalDateTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

// The computer's local time.
class SystemClock : public Clock {
  public:
    LocalDateTime now() const override;
};

// A clock that shows a fixed time until set otherwise.
class FixedClock : public Clock {
  public:
    explicit FixedClock(LocalDateTime t) : t_(t) {}
    LocalDateTime now() const override { return t_; }
    void set(LocalDateTime t) { t_ = t; }

  private:
    LocalDateTime t_;
};

}  // namespace invarro::platform
