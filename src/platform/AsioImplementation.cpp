// Asio is compiled once, here, instead of in every file that uses it.
#include <asio/impl/src.hpp>
