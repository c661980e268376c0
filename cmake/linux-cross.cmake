# Shared part of the Linux cross builds: Debian's cross compiler for
# CROSS_TRIPLE, tests run under qemu-user as QEMU. qemu-s390x was seen to
# spin while ignoring SIGTERM, so every run is killed outright when late.
set(CMAKE_SYSTEM_NAME Linux)
# C only for GoogleTest, whose project enables it.
set(CMAKE_C_COMPILER ${CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR timeout -s KILL 300 ${QEMU} -L /usr/${CROSS_TRIPLE})
