// Ids of the test dialog templates (test_dialogs.rc).
#pragma once

#define TEST_RESIZABLE_DIALOG 100
#define TEST_SIMPLE_DIALOG 101
#define TEST_CENTRED_BUTTON 1001
#define TEST_LEFT_LIST 1002
#define TEST_FIXED_LABEL 1003
#define TEST_ABSENT_CONTROL 1009
