// Placeholder so the console library links while the polling cycle is being written.
#include "test_dlg.h"

int32_t g_bPollSV = 1;

void CTestDlg::OnTimer(int) {}
void CTestDlg::SendPoll(int, int) {}
void CTestDlg::ReadAnswer() {}
void CTestDlg::UpdateAddressList(int, int) {}
void CTestDlg::OnSend() {}
int CTestDlg::FindAddressItem(const char*) const { return -1; }
int CTestDlg::AddAddressItem(const char*) { return -1; }
