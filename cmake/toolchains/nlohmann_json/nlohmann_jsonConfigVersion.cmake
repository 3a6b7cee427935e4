# The version of the headers this stands for: Debian's own version file answers.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
