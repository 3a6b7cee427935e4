#pragma once

#include <utility>

namespace ponte::laco {

// Owns one descriptor of the process (a C runtime descriptor on Windows) and closes it when its
// scope ends. Move-only, so exactly one owner closes it.
class DescritorProprio {
public:
    DescritorProprio() = default;
    explicit DescritorProprio(int numero) noexcept : numero_(numero) {}
    DescritorProprio(DescritorProprio&& outro) noexcept : numero_(std::exchange(outro.numero_, -1)) {}
    DescritorProprio& operator=(DescritorProprio&& outro) noexcept {
        if (this != &outro) {
            DescritorProprio anterior(std::move(*this));  // closes what this held
            numero_ = std::exchange(outro.numero_, -1);
        }
        return *this;
    }
    DescritorProprio(const DescritorProprio&) = delete;
    DescritorProprio& operator=(const DescritorProprio&) = delete;
    ~DescritorProprio();

    bool aberto() const noexcept { return numero_ >= 0; }
    int numero() const noexcept { return numero_; }

private:
    int numero_ = -1;
};

}  // namespace ponte::laco
