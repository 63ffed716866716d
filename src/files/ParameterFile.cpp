#include "ParameterFile.h"

void saveParameterFile(ParameterEditor&, kv10::Prompts&)
{
}

void openParameterFile(ParameterEditor&, kv10::Prompts&)
{
}
