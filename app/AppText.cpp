#include "app/AppText.h"

#include "app/AppInfo.h"

std::wstring StripOuterQuotes(const std::wstring& commandLine)
{
    const size_t first = commandLine.find_first_not_of(L'"');
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    const size_t last = commandLine.find_last_not_of(L'"');
    return commandLine.substr(first, last - first + 1);
}

std::wstring QuickAddMessage(const std::wstring& address, bool succeeded)
{
    return L"添加" + address + (succeeded ? L"成功。" : L"失败。");
}

std::wstring ApologyText()
{
    return std::wstring(L"非常抱歉，程序遇到问题需要关闭，请联系作者获取帮助！\r\n")
        + L"网站: " + MORVANTI_WEB_SITE + L"\r\n"
        + L"邮箱: " + MORVANTI_EMAIL + L"\r\n";
}

std::wstring UnsavedEditsQuestion()
{
    return L"列表已修改，是否先保存？";
}

std::wstring ReloadDiscardsEditsQuestion()
{
    return L"列表已修改，重新读取将放弃这些修改。是否仍要重新读取？";
}

std::wstring ReplaceOtherListsQuestion(const std::wstring& target, const std::wstring& source)
{
    const std::wstring from = source.empty() ? std::wstring(L"列表不是从任何javascript文件读取的。\r\n")
                                             : L"列表读取自：\r\n" + source + L"\r\n";
    return L"保存将用列表替换这个javascript文件中已有的网址：\r\n" + target + L"\r\n" + from + L"是否保存？";
}

int CenteredOffset(int areaSize, int boxSize)
{
    return areaSize / 2 - boxSize / 2;
}
