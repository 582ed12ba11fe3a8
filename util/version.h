#pragma once
const char *KRS_VersionText();
