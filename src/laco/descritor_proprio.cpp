#include "laco/descritor_proprio.hpp"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ponte::laco {

DescritorProprio::~DescritorProprio() {
    if (numero_ < 0) return;
#ifdef _WIN32
    ::_close(numero_);
#else
    ::close(numero_);  // nothing is left to do if it fails
#endif
}

}  // namespace ponte::laco
