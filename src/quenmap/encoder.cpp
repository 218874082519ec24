#include "encoder.hpp"
