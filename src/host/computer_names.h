#pragma once
// Who ran an update where: the computer's name and the account the program
// runs as (SYSTEM under a deployment tool). Empty when not known.

#include <string>

std::wstring ComputerName();
std::wstring UserName();
