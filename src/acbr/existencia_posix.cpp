#include "acbr/existencia.hpp"

#include <sys/stat.h>

namespace ponte::acbr {

bool existe(const std::string& caminho) {
    struct stat estado {};
    return ::stat(caminho.c_str(), &estado) == 0;
}

}  // namespace ponte::acbr
